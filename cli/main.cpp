// kestrow-cli: the Kestrow core without a desktop.

#include "app/modKestrow.h"
#include "app/services/UiServices.h"

#include <cstring>
#include <iostream>
#include <string_view>

namespace {

constexpr const char* kUsage =
    "Usage: kestrow-cli <command> [options]\n"
    "\n"
    "Keeps Target folders identical to a Source folder, without a desktop.\n"
    "\n"
    "Options:\n"
    "  -h, --help       show this help and exit\n"
    "  -V, --version    show the version and exit\n"
    "\n"
    "Kestrow keeps its options, task lists and clone.log in $KESTROW_HOME, or\n"
    "$XDG_DATA_HOME/kestrow (default ~/.local/share/kestrow).\n";

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::cerr << kUsage;
        return 2;
    }
    const std::string_view arg = argv[1];
    if (arg == "-h" || arg == "--help" || arg == "help") {
        std::cout << kUsage;
        return 0;
    }
    if (arg == "-V" || arg == "--version") {
        std::cout << "kestrow-cli " << KESTROW_VERSION << '\n';
        return 0;
    }
    kestrow::ConsoleUiServices console;
    kestrow::ScopedUiServices scope(console);
    if (!kestrow::StartupLoadLibraries())
        return 1;
    std::cerr << "kestrow-cli: unknown command '" << arg << "'\n\n" << kUsage;
    kestrow::ShutdownUnloadLibraries();
    return 2;
}
