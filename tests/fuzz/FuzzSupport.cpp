// The error reporter for the fuzz targets. The routines under test report an
// unexpected error and go on with a fallback; in a fuzz run every such report is a
// fault, so this one stops the run with the input that caused it. The program's
// reporter (and the message box and data folder it reaches) is not linked in.

#include "base/ErrorReporter.h"

#include "FuzzSupport.h"

#include <exception>

namespace kestrow {

void ReportError(const std::string& location, const std::string& /*detail*/)
{
    std::string what = "unknown exception";
    try {
        throw;
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
    }
    fuzz::fail(("unexpected error reported in " + location).c_str(), what);
}

} // namespace kestrow
