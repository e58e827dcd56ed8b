#include "app/services/AppState.h"

#include "platform/SystemInfo.h"

namespace kestrow {

std::string gstrAppPath;
std::string gstrProgramPath;

namespace {
std::string withSlash(std::string s)
{
    if (s.empty() || s.back() != '/')
        s += '/';
    return s;
}
} // namespace

bool initFolders()
{
    gstrProgramPath = platform::executableFolder();
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
