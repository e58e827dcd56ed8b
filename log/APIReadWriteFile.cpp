#include "log/APIReadWriteFile.h"

#include "base/ErrorReporter.h"
#include "base/UiServices.h"
#include "platform/TextFile.h"

namespace kestrow {

std::string ReadStringFromFile(const std::string& fileSpec)
{
    return Guarded("modAPIReadWriteFile.ReadStringFromFile", std::string{}, [&] {
        int err = 0;
        std::string text = platform::readDataFile(fileSpec, err);
        // Callers treat a file they cannot read like a missing one.
        return err == 0 ? text : std::string{};
    });
}

bool WriteStringToFile(const std::string& fileSpec, const std::string& text, bool overwrite)
{
    return Guarded("modAPIReadWriteFile.WriteStringToFile", false, [&] {
        if (text.empty()) {
            if (!platform::pathExists(fileSpec))
                return true;
            if (platform::removeFile(fileSpec) == 0)
                return true;
            // The message text runs the file spec straight into "Please"; kept as the
            // program has always shown it.
            ui().messageBox("Write String To File",
                            "Unable to delete " + fileSpec + "Please delete this file manually.",
                            MsgIcon::Exclamation, MsgButtons::Ok);
            return false;
        }
        if (!overwrite && platform::pathExists(fileSpec))
            return false;
        if (const int err = platform::writeWholeFile(fileSpec, text); err != 0)
            ThrowDataFileError(err, true, fileSpec, GetSystemErrorMessage(err) + ": " + fileSpec);
        return true;
    });
}

} // namespace kestrow
