#include "app/modKestrow.h"

#include "base/AppState.h"
#include "base/DateTime.h"
#include "base/ErrorReporter.h"
#include "lumbrel/Lumbrel.h"
#include "platform/DataFile.h"
#include "platform/TextFile.h"
#include "zelcommon/ZelCommon.h"

namespace kestrow {

bool StartupLoadLibraries()
{
    try {
        if (!initFolders())
            throw RuntimeError(errnum::PathNotFound, "Unable to create the data folder " + gstrAppPath);
        std::string failed;
        if (!zc::load(gstrProgramPath, failed))
            throw RuntimeError(kAppErrorBase, "Error loading DLL - " + failed);
        if (!lumbrel::load(gstrProgramPath, failed))
            throw RuntimeError(kAppErrorBase, "Error loading DLL - " + failed);
        return true;
    } catch (...) {
        ReportError("modKestrow.Main");
        return false;
    }
}

void ShutdownUnloadLibraries()
{
    zc::unload();
    lumbrel::unload();
}

std::string DataFolderWarning()
{
    int err = 0;
    if (!platform::folderWritableByOthers(gstrAppPath, err))
        return {};
    return "Warning: the data folder " + gstrAppPath +
           " can be written by other users; files planted there could change what Kestrow does.";
}

std::string WarnIfDataFolderIsOpenToOthers()
{
    std::string warning = DataFolderWarning();
    if (!warning.empty())
        platform::appendToFile(gstrAppPath + "clone.log", NowText() + " " + warning + "\n");
    return warning;
}

} // namespace kestrow
