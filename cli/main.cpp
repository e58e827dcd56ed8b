// kestrow-cli: the Kestrow core without a desktop.

#include "app/modKestrow.h"
#include "base/UiServices.h"
#include "cli/CloneCommand.h"
#include "cli/DaemonCommand.h"
#include "cli/ReportCommand.h"
#include "cli/TaskCommands.h"
#include "cli/TaskEditCommands.h"
#include "cli/VersionsCommands.h"

#include <cstring>
#include <iostream>
#include <string>
#include <string_view>

namespace {

constexpr const char* kUsage =
    "Usage: kestrow-cli <command> [options]\n"
    "\n"
    "Keeps Target folders identical to a Source folder, without a desktop.\n"
    "\n"
    "Commands:\n"
    "  clone SOURCE TARGET [TARGET...]  make each TARGET identical to SOURCE\n"
    "                                   (kestrow-cli clone --help for its options)\n"
    "  list [--task-list FILE]          show the tasks of a task list\n"
    "  run NAME... | --all | --category C\n"
    "                                   run saved tasks and record their run times\n"
    "                                   (kestrow-cli run --help for its options)\n"
    "  task add|edit|remove|show NAME   create, change, delete or print a saved task\n"
    "                                   (kestrow-cli task --help for its options)\n"
    "  versions list|show|restore TARGET\n"
    "                                   the old versions a run kept of a Target,\n"
    "                                   and their restore\n"
    "                                   (kestrow-cli versions --help for its options)\n"
    "  report SOURCE TARGET             write an HTML report of their differences\n"
    "                                   (kestrow-cli report --help for its options)\n"
    "  daemon [--task-list FILE]        run scheduled tasks unattended, without a desktop\n"
    "                                   (kestrow-cli daemon --help for its options)\n"
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
    const bool knownCommand = arg == "clone" || arg == "report" || arg == "list" || arg == "run" ||
                              arg == "daemon" || arg == "task" || arg == "versions";
    auto isHelp = [&](int i) {
        return argc > i && (std::string_view(argv[i]) == "--help" || std::string_view(argv[i]) == "-h");
    };
    const bool commandHelp = isHelp(2) || ((arg == "task" || arg == "versions") && isHelp(3));
    if (knownCommand && !commandHelp) {
        if (const std::string warning = kestrow::WarnIfDataFolderIsOpenToOthers(); !warning.empty())
            std::cerr << "kestrow-cli: " << warning << '\n';
    }
    int rc = 2;
    if (arg == "clone") {
        if (argc > 2 && (std::string_view(argv[2]) == "--help" || std::string_view(argv[2]) == "-h")) {
            std::cout << kestrow::cli::cloneUsage();
            rc = 0;
        } else {
            rc = kestrow::cli::runCloneCommand(argc, argv, 2);
        }
    } else if (arg == "report") {
        if (argc > 2 && (std::string_view(argv[2]) == "--help" || std::string_view(argv[2]) == "-h")) {
            std::cout << kestrow::cli::reportUsage();
            rc = 0;
        } else {
            rc = kestrow::cli::runReportCommand(argc, argv, 2);
        }
    } else if (arg == "list" || arg == "run") {
        const bool help =
            argc > 2 && (std::string_view(argv[2]) == "--help" || std::string_view(argv[2]) == "-h");
        if (help)
            std::cout << (arg == "list" ? kestrow::cli::listUsage() : kestrow::cli::runUsage());
        else if (arg == "list")
            rc = kestrow::cli::runListCommand(argc, argv, 2);
        else
            rc = kestrow::cli::runRunCommand(argc, argv, 2);
        if (help)
            rc = 0;
    } else if (arg == "task") {
        rc = kestrow::cli::runTaskCommand(argc, argv, 2);
    } else if (arg == "versions") {
        rc = kestrow::cli::runVersionsCommand(argc, argv, 2);
    } else if (arg == "daemon") {
        if (argc > 2 && (std::string_view(argv[2]) == "--help" || std::string_view(argv[2]) == "-h")) {
            std::cout << kestrow::cli::daemonUsage();
            rc = 0;
        } else {
            rc = kestrow::cli::runDaemonCommand(argc, argv, 2);
        }
    } else {
        std::cerr << "kestrow-cli: unknown command '" << arg << "'\n\n" << kUsage;
    }
    kestrow::ShutdownUnloadLibraries();
    return rc;
}
