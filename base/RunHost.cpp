#include "base/RunHost.h"

#include "util/AsciiCase.h"

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

bool SyncActionTexts::withdrawn(size_t i) const
{
    return util::equalsIgnoringCase(m_texts[i], "|REMOVED ACTION|");
}

ScopedRunHost::ScopedRunHost(RunHost& host) : m_installed(g_host, &host) {}

} // namespace kestrow
