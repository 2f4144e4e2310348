#pragma once
#include <cstddef>
#include <cstdint>

namespace engine {

// Measures the runs of used (set) and free (clear) clusters in a bitmap fed
// chunk after chunk. Runs may span chunks. The bitmap is read a 64-bit word at
// a time and run boundaries are found from the word's bit changes, so cost
// grows with words and runs, not with clusters.
class RunCounter {
public:
    // Bits [0, count) of `bits`, least significant bit first.
    void Feed(const uint8_t* bits, size_t count) noexcept;
    // Adds the square of the open run to its sum. Call once, at the end.
    void CloseRun() noexcept;

    int64_t UsedCount() const noexcept { return m_usedCount; }
    int64_t FreeCount() const noexcept { return m_freeCount; }
    double UsedSquares() const noexcept { return m_usedSquares; }
    double FreeSquares() const noexcept { return m_freeSquares; }

    // U^2 / sum(u_i^2): the effective number of used runs; 0.0 without runs.
    double UsedFactor() const noexcept;
    // F^2 / sum(f_i^2): the same for free runs.
    double FreeFactor() const noexcept;

private:
    enum class State { None, Used, Free };

    State m_state = State::None;
    int64_t m_usedRun = 0;
    int64_t m_freeRun = 0;
    int64_t m_usedCount = 0;
    int64_t m_freeCount = 0;
    double m_usedSquares = 0.0;
    double m_freeSquares = 0.0;
};

} // namespace engine
