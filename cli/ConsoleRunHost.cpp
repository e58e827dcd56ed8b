#include "cli/ConsoleRunHost.h"

#include "platform/SystemInfo.h"

#include <iostream>

namespace kestrow::cli {

ConsoleRunHost::~ConsoleRunHost()
{
    if (m_dirty)
        std::cerr << "\r\033[K" << std::flush;
}

void ConsoleRunHost::setStatusText(StatusPanel panel, const std::string& text)
{
    if (m_quiet)
        return;
    m_terminal = platform::stderrIsTerminal();
    if (panel == StatusPanel::Panel1) {
        if (text == m_panel1)
            return;
        m_panel1 = text;
        m_panel2.clear();
        if (!m_terminal) {
            std::cerr << text << '\n';
            return;
        }
    } else {
        m_panel2 = text;
        if (!m_terminal)
            return;
    }
    std::cerr << "\r\033[K" << m_panel1 << (m_panel2.empty() ? "" : "  ") << m_panel2 << std::flush;
    m_dirty = true;
}

} // namespace kestrow::cli
