#pragma once
// The scan's progress as velk shows it: a bar on stderr when stderr is a
// terminal, and the stop request of Ctrl-C answered through the progress calls.

#include <cstdio>
#include <string>

#include "IVelkProgress.h"

namespace velk {

// Ctrl-C sets the stop request; a second Ctrl-C ends the program at once.
void InstallInterruptHandler();
bool StopRequested();
void RequestStop();

class TerminalProgress final : public IVelkProgress {
public:
    // `out` null: nothing is drawn.
    explicit TerminalProgress(std::FILE* out) : m_out(out) {}
    ~TerminalProgress() = default;

    void SetVolume(std::string name) { m_volume = std::move(name); }
    void OnScanStart() override;
    int OnFileProgress(int percent, int abort) override;
    int OnFilesDone() override;
    int OnLevelProgress(int percent) override;
    void OnScanEnd() override;

private:
    void Draw(const char* phase, int percent);

    std::FILE* m_out;
    std::string m_volume;
    int m_shownPercent = -1;
    const char* m_shownPhase = nullptr;
};

} // namespace velk
