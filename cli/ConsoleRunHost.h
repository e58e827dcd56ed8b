#pragma once
// Status texts of a run on stderr: on a terminal one line kept up to date,
// elsewhere one line per change of the first panel.

#include "base/RunHost.h"

namespace kestrow::cli {

class ConsoleRunHost : public RunHost
{
public:
    explicit ConsoleRunHost(bool quiet) : m_quiet(quiet) {}
    ~ConsoleRunHost() override;
    void setStatusText(StatusPanel panel, const std::string& text) override;

private:
    bool m_quiet;
    bool m_terminal = false;
    bool m_dirty = false;
    std::string m_panel1;
    std::string m_panel2;
};

} // namespace kestrow::cli
