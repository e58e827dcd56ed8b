#include "cli/Arguments.h"

#include <iostream>

namespace kestrow::cli {

bool isOption(std::string_view arg)
{
    return arg.starts_with("-") && arg.size() > 1;
}

std::string optionValue(int argc, char* argv[], int& i)
{
    if (i + 1 >= argc)
        throw UsageError{"option " + std::string(argv[i]) + " needs a value"};
    return argv[++i];
}

std::string nonEmptyValue(int argc, char* argv[], int& i, const std::string& missing)
{
    if (i + 1 >= argc || std::string_view(argv[i + 1]).empty())
        throw UsageError{missing};
    return argv[++i];
}

void throwUnknownOption(std::string_view arg)
{
    throw UsageError{"unknown option '" + std::string(arg) + "'"};
}

void throwUnexpectedArgument(std::string_view arg)
{
    throw UsageError{"unexpected argument '" + std::string(arg) + "'"};
}

bool parsedOrExplained(const char* command, const char* usage, const std::function<void()>& parse)
{
    try {
        parse();
        return true;
    } catch (const UsageError& e) {
        std::cerr << "kestrow-cli " << command << ": " << e.message << "\n\n" << usage;
        return false;
    }
}

} // namespace kestrow::cli
