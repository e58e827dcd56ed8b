#include "cli/ReportCommand.h"

#include "app/ProgramObjects.h"
#include "base/ErrorReporter.h"
#include "cli/Arguments.h"
#include "cli/CloneCommand.h"
#include "engine/FolderRoutines.h"
#include "engine/Report.h"
#include "engine/RootPaths.h"
#include "engine/cClone.h"
#include "log/CloneLog.h"

#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

namespace kestrow::cli {

namespace {

struct ReportArgs
{
    std::string source;
    std::string target;
    std::string output;
    bool includeSubfolders = true;
    bool open = false;
};

ReportArgs parse(int argc, char* argv[], int first)
{
    ReportArgs a;
    std::vector<std::string> positional;
    for (int i = first; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--no-subfolders") {
            a.includeSubfolders = false;
        } else if (arg == "--open") {
            a.open = true;
        } else if (arg == "--output" || arg == "-o") {
            a.output = nonEmptyValue(argc, argv, i, "option " + std::string(arg) + " needs a file name");
        } else if (arg == "--") {
            for (++i; i < argc; ++i)
                positional.emplace_back(argv[i]);
        } else if (isOption(arg)) {
            throwUnknownOption(arg);
        } else {
            positional.emplace_back(arg);
        }
    }
    if (positional.size() != 2)
        throw UsageError{"report needs a SOURCE and a TARGET folder"};
    if (positional[0].empty() || positional[1].empty())
        throw UsageError{std::string("report: the ") + (positional[0].empty() ? "SOURCE" : "TARGET") +
                         " is empty"};
    a.source = positional[0];
    a.target = positional[1];
    return a;
}

// Checks a folder as the report command of the desktop program does; prints why
// it cannot be used.
bool usableFolder(const std::string& folder, TreeSide side)
{
    int32_t errorNumber = 0;
    const int32_t status = ValidateFolderPath(folder, errorNumber);
    if (status == FolderStatusOk)
        return true;
    std::cerr << "kestrow-cli report: "
              << (side == TreeSide::Target ? "Problems processing the Target folder."
                                           : "Problems processing the Source folder.")
              << '\n'
              << GetInvalidPathErrorMsg(status, folder, errorNumber) << '\n';
    return false;
}

// The folder as the report shows it; "" stays "" for validation to refuse.
std::string asFolderSpec(const std::string& folder)
{
    const std::string canonical = CanonicalFolderSpec(folder);
    return canonical.empty() ? folder : canonical;
}

} // namespace

const char* reportUsage()
{
    return "Usage: kestrow-cli report SOURCE TARGET [--no-subfolders] [--output FILE] [--open]\n"
           "\n"
           "Compares SOURCE with TARGET without changing anything and writes an HTML report\n"
           "of the files and folders added to, deleted from or changed in SOURCE (seen from\n"
           "the Source's side). Files are judged by the comparison method and the time\n"
           "allowances in kestrow.ini. Prints the report's path.\n"
           "\n"
           "  --no-subfolders    only the files of the two folders themselves\n"
           "  -o, --output FILE  write the report to FILE (replaced when it exists) instead\n"
           "                     of a new rpt*.html file in the temporary folder\n"
           "  --open             show the report in the desktop's browser\n"
           "\n"
           "Comparison errors are written to stderr and to clone.log.\n"
           "Exit status: 0 the report was written, 1 it could not be, 2 bad usage or a\n"
           "folder that cannot be used.\n";
}

int runReportCommand(int argc, char* argv[], int first)
{
    ReportArgs args;
    if (!parsedOrExplained("report", reportUsage(), [&] { args = parse(argc, argv, first); }))
        return ExitUsage;

    ProgramObjects objects;
    if (!ReadProgramOptionsFromIniFile())
        return ExitRunErrors;
    const std::string source = asFolderSpec(args.source);
    const std::string target = asFolderSpec(args.target);
    if (!usableFolder(source, TreeSide::Source) || !usableFolder(target, TreeSide::Target))
        return ExitUsage;

    std::string reportFile;
    if (!args.output.empty()) {
        reportFile = std::filesystem::absolute(args.output).lexically_normal().string();
    } else {
        int32_t errNumber = 0;
        std::string errMessage;
        reportFile = GetTempFileSpec("rpt", "html", "", errNumber, errMessage);
        if (reportFile.empty()) {
            std::cerr << "kestrow-cli report: cannot create the report file: " << errMessage << '\n';
            return ExitRunErrors;
        }
    }

    // Comparison errors are the only log lines a report makes; stdout keeps just the path.
    gCloneLog->setLineObserver([](const std::string& line) { std::cerr << line << std::flush; });
    bool logUnwritten = false;
    gCloneLog->setWriteFailureHandler([&logUnwritten](const std::string& spec, int err) {
        cannotWrite("report", spec, err);
        logUnwritten = true;
    });
    int writeError = 0;
    const bool written = WriteHTMLReportOfFolderDiffs(source, target, args.includeSubfolders, reportFile,
                                                      nullptr, &writeError);
    gCloneLog->setLineObserver({});
    if (gCloneLog->CurrInMemoryLogSize() > 0) {
        gCloneLog->AppendInMemoryStringToLogFile();
        gCloneLog->ResetInMemoryLog();
    }
    gCloneLog->setWriteFailureHandler({});
    if (writeError != 0)
        cannotWrite("report", reportFile, writeError);
    if (!written) {
        if (args.output.empty())
            std::filesystem::remove(reportFile); // half a report is no use to anyone
        return ExitRunErrors;
    }
    std::cout << reportFile << '\n' << std::flush;
    if (args.open)
        ShowHTMLFileInBrowser(reportFile);
    return logUnwritten ? ExitRunErrors : ExitOk;
}

} // namespace kestrow::cli
