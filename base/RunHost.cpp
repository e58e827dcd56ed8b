#include "base/RunHost.h"

namespace kestrow {

namespace {
class SilentRunHost : public RunHost
{
public:
    void setStatusText(StatusPanel, const std::string&) override {}
};
RunHost* g_host = nullptr;
} // namespace

RunHost& runHost()
{
    static SilentRunHost silent;
    return g_host ? *g_host : silent;
}

ScopedRunHost::ScopedRunHost(RunHost& host) : m_previous(g_host)
{
    g_host = &host;
}

ScopedRunHost::~ScopedRunHost()
{
    g_host = m_previous;
}

} // namespace kestrow
