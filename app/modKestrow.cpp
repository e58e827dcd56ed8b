#include "app/modKestrow.h"

#include "app/services/AppState.h"
#include "app/services/ErrorReporter.h"
#include "lumbrel/Lumbrel.h"
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

} // namespace kestrow
