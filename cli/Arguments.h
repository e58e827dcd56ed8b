#pragma once
// What the commands' argument parsers share: the usage error, its usual messages, and
// how a command reports one.

#include <functional>
#include <string>
#include <string_view>

namespace kestrow::cli {

// A command line the command cannot run with; `message` says why.
struct UsageError
{
    std::string message;
};

// Whether `arg` names an option. "-" alone does not: it is a name like any other.
bool isOption(std::string_view arg);

// The value that follows the option at argv[i]; `i` moves onto it. UsageError
// "option ARG needs a value" when the option is the last argument.
std::string optionValue(int argc, char* argv[], int& i);

// The same for an option that needs a non-empty value: UsageError `missing` when
// there is none or it is empty.
std::string nonEmptyValue(int argc, char* argv[], int& i, const std::string& missing);

[[noreturn]] void throwUnknownOption(std::string_view arg);
[[noreturn]] void throwUnexpectedArgument(std::string_view arg);

// Runs `parse`. A UsageError it throws is printed on stderr as "kestrow-cli COMMAND:
// MESSAGE", a blank line and the command's usage; then false.
bool parsedOrExplained(const char* command, const char* usage, const std::function<void()>& parse);

} // namespace kestrow::cli
