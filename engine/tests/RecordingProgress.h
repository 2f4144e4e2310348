#pragma once
#include <functional>
#include <string>
#include <vector>

#include "common/IVelkProgress.h"

namespace enginetest {

// Records every progress call as text ("start", "file 50 0", "files-done",
// "level 0", "end") and answers as the test says.
class RecordingProgress final : public IVelkProgress {
public:
    std::vector<std::string> calls;
    std::function<int(int percent)> fileAnswer = [](int) { return 1; };
    std::function<int(int percent)> levelAnswer = [](int) { return 1; };

    void OnScanStart() override { calls.push_back("start"); }
    int OnFileProgress(int percent, int abort) override
    {
        calls.push_back("file " + std::to_string(percent) + " " + std::to_string(abort));
        return fileAnswer(percent);
    }
    int OnFilesDone() override
    {
        calls.push_back("files-done");
        return 1;
    }
    int OnLevelProgress(int percent) override
    {
        calls.push_back("level " + std::to_string(percent));
        return levelAnswer(percent);
    }
    void OnScanEnd() override { calls.push_back("end"); }
};

} // namespace enginetest
