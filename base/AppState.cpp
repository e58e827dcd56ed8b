#include "base/AppState.h"

#include "platform/SystemInfo.h"
#include "platform/TextFile.h"

namespace kestrow {

std::string gstrAppPath;
std::string gstrProgramPath;

std::atomic<bool> gblnCloneRunning{false};
std::string gstrCurrentTaskName;
std::atomic<bool> gblnScheduledRun{false};
std::atomic<bool> gblnRestoreRunning{false};
std::atomic<bool> gblnSchedulerPaused{false};
std::atomic<bool> gblnPromptToInsertRemovableDrive{false};
std::atomic<int32_t> glngDelayBeforeFirstTask{0};

namespace {
std::string withSlash(std::string s)
{
    if (s.empty() || s.back() != '/')
        s += '/';
    return s;
}
} // namespace

std::string ProgramFolder()
{
    const std::string own = platform::executableFolder();
    if (platform::pathExists(own + kZelcommonFileName))
        return own;
    // Installed, the executables sit in <prefix>/bin/ and the rest in <prefix>/lib/kestrow/.
    if (own.size() > 1) {
        const size_t parentEnd = own.rfind('/', own.size() - 2);
        if (parentEnd != std::string::npos) {
            std::string installed = own.substr(0, parentEnd + 1) + "lib/kestrow/";
            if (platform::pathExists(installed + kZelcommonFileName))
                return installed;
        }
    }
    return own;
}

bool initFolders()
{
    gstrProgramPath = ProgramFolder();
    if (auto home = platform::env("KESTROW_HOME"); home && !home->empty()) {
        gstrAppPath = withSlash(*home);
    } else if (auto data = platform::env("XDG_DATA_HOME"); data && !data->empty() && data->front() == '/') {
        gstrAppPath = withSlash(*data) + "kestrow/";
    } else {
        gstrAppPath = withSlash(platform::homeFolder()) + ".local/share/kestrow/";
    }
    return platform::makePath(gstrAppPath) == 0;
}

} // namespace kestrow
