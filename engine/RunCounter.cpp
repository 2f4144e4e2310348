#include "RunCounter.h"

#include <bit>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "bitmaps are read a word at a time");

namespace engine {

namespace {

// Bits [64 * index, 64 * index + 64) of the chunk, least significant first;
// bits at or past `count` are zero.
inline uint64_t Word(const uint8_t* bits, size_t index, size_t count) noexcept
{
    const size_t byte = index * 8;
    const size_t bytes = (count + 7) / 8;
    uint64_t word = 0;
    std::memcpy(&word, bits + byte, bytes - byte >= 8 ? 8 : bytes - byte);
    const size_t left = count - index * 64;
    if (left < 64)
        word &= (uint64_t{1} << left) - 1;
    return word;
}

inline double Square(int64_t n) noexcept
{
    const double d = static_cast<double>(n);
    return d * d;
}

} // namespace

void RunCounter::Feed(const uint8_t* bits, size_t count) noexcept
{
    if (count == 0)
        return;
    if (m_state == State::None)
        m_state = (bits[0] & 1u) != 0 ? State::Used : State::Free;

    // Locals, indexed by "used", keep the hot loop in registers.
    unsigned used = m_state == State::Used ? 1u : 0u;
    const int64_t open = used ? m_usedRun : m_freeRun;
    int64_t run = open; // the open run
    int64_t counts[2] = {m_freeCount, m_usedCount};
    counts[used] -= open; // counted again when it closes
    double squares[2] = {m_freeSquares, m_usedSquares};

    // Counts are taken as runs close, so a word without a change costs one add.
    auto take = [&](uint64_t word, unsigned width) {
        const uint64_t valid = width == 64 ? ~uint64_t{0} : (uint64_t{1} << width) - 1;
        // A set bit k of `changes` means bit k differs from the bit before it.
        uint64_t changes = (word ^ ((word << 1) | used)) & valid;
        unsigned last = 0;
        while (changes != 0) {
            const unsigned at = static_cast<unsigned>(__builtin_ctzll(changes));
            run += at - last;
            counts[used] += run;
            squares[used] += Square(run);
            run = 0;
            used ^= 1u;
            last = at;
            changes &= changes - 1;
        }
        run += width - last;
    };

    const size_t whole = count / 64;
    for (size_t index = 0; index < whole; ++index) {
        uint64_t word;
        std::memcpy(&word, bits + index * 8, 8);
        take(word, 64);
    }
    if (count % 64 != 0)
        take(Word(bits, whole, count), static_cast<unsigned>(count % 64));

    counts[used] += run; // the open run, as counted so far
    m_state = used ? State::Used : State::Free;
    m_usedRun = used ? run : 0;
    m_freeRun = used ? 0 : run;
    m_freeCount = counts[0];
    m_usedCount = counts[1];
    m_freeSquares = squares[0];
    m_usedSquares = squares[1];
}

void RunCounter::CloseRun() noexcept
{
    if (m_state == State::Free)
        m_freeSquares += Square(m_freeRun);
    else if (m_state == State::Used)
        m_usedSquares += Square(m_usedRun);
}

double RunCounter::UsedFactor() const noexcept
{
    if (m_usedSquares == 0.0)
        return 0.0;
    const double used = static_cast<double>(m_usedCount);
    return used * (used / m_usedSquares);
}

double RunCounter::FreeFactor() const noexcept
{
    if (m_freeSquares == 0.0)
        return 0.0;
    const double free = static_cast<double>(m_freeCount);
    return free * (free / m_freeSquares);
}

} // namespace engine

