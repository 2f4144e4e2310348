#pragma once
// What a file-system reader hands its plug-in during a walk: files with their
// physical runs, and damage met on the way.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fsm {

struct Run {
    int64_t first;
    int64_t length;
};

class WalkSink {
public:
    // false stops the walk.
    virtual bool OnFile(int percent, const std::u16string& path, const std::vector<Run>& runs) = 0;
    // Damage met on the way; `data` is the damaged structure when at hand.
    virtual void OnDamage(const void* data, std::size_t size, const std::u16string& text) = 0;

protected:
    ~WalkSink() = default;
};

struct WalkResult {
    int64_t files = 0;
    bool stopped = false;    // the sink asked to stop
    bool incomplete = false; // the walk could not reach everything
};

} // namespace fsm
