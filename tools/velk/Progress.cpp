#include "Progress.h"

#include <atomic>
#include <csignal>

namespace velk {
namespace {

std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void OnInterrupt(int)
{
    g_stop.store(true);
    std::signal(SIGINT, SIG_DFL);
}

} // namespace

void InstallInterruptHandler() { std::signal(SIGINT, OnInterrupt); }
bool StopRequested() { return g_stop.load(); }
void RequestStop() { g_stop.store(true); }

void TerminalProgress::Draw(const char* phase, int percent)
{
    if (!m_out || (percent == m_shownPercent && phase == m_shownPhase))
        return;
    m_shownPercent = percent;
    m_shownPhase = phase;
    constexpr int kWidth = 30;
    const int clamped = percent < 0 ? 0 : percent > 100 ? 100 : percent;
    const int filled = clamped * kWidth / 100;
    std::fprintf(m_out, "\r%s [%.*s%.*s] %3d%% %s\033[K", m_volume.c_str(), filled,
                 "##############################", kWidth - filled, "..............................", clamped, phase);
    std::fflush(m_out);
}

void TerminalProgress::OnScanStart()
{
    m_shownPercent = -1;
    Draw("reading files", 0);
}

int TerminalProgress::OnFileProgress(int percent, int abort)
{
    if (abort || StopRequested())
        return 0;
    Draw("reading files", percent);
    return 1;
}

int TerminalProgress::OnFilesDone()
{
    Draw("reading files", 100);
    return 1;
}

int TerminalProgress::OnLevelProgress(int percent)
{
    if (StopRequested())
        return 0;
    Draw("reading the bitmap", percent);
    return 1;
}

void TerminalProgress::OnScanEnd()
{
    if (m_out) {
        std::fputs("\r\033[K", m_out);
        std::fflush(m_out);
    }
    m_shownPercent = -1;
    m_shownPhase = nullptr;
}

} // namespace velk
