#include "RunCounter.h"

#include <bit>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "bitmaps are read a word at a time");

namespace engine {

namespace {

// Up to 64 bits starting at bit `at`, least significant first; bits at or
// past `count` are zero.
inline uint64_t LoadBits(const uint8_t* bits, size_t at, size_t count) noexcept
{
    const size_t byte = at / 8;
    const unsigned shift = at % 8;
    const size_t available = (count + 7) / 8 - byte; // bytes that hold bits below count
    uint64_t word;
    uint8_t next = 0;
    if (available >= 9) {
        std::memcpy(&word, bits + byte, 8);
        next = bits[byte + 8];
    } else {
        uint8_t raw[8] = {};
        std::memcpy(raw, bits + byte, available < 8 ? available : 8);
        std::memcpy(&word, raw, 8);
    }
    word >>= shift;
    if (shift != 0)
        word |= static_cast<uint64_t>(next) << (64 - shift);
    const size_t left = count - at;
    if (left < 64)
        word &= (uint64_t{1} << left) - 1;
    return word;
}

// Length of the run of bits equal to `value` that starts at `at`.
size_t RunLength(const uint8_t* bits, size_t at, size_t count, bool value) noexcept
{
    for (size_t position = at; position < count; position += 64) {
        uint64_t stops = LoadBits(bits, position, count);
        if (value)
            stops = ~stops; // a clear bit ends a used run
        const size_t left = count - position;
        if (left < 64)
            stops |= ~uint64_t{0} << left; // so does the end of the chunk
        if (stops != 0)
            return position + static_cast<size_t>(__builtin_ctzll(stops)) - at;
    }
    return count - at;
}

inline double Square(int64_t n) noexcept
{
    const double d = static_cast<double>(n);
    return d * d;
}

} // namespace

void RunCounter::AddRun(bool used, int64_t length) noexcept
{
    if (used) {
        m_usedCount += length;
        if (m_state == State::Free)
            m_freeSquares += Square(m_freeRun);
        m_usedRun += length;
        m_state = State::Used;
        m_freeRun = 0;
    } else {
        m_freeCount += length;
        if (m_state == State::Used)
            m_usedSquares += Square(m_usedRun);
        m_freeRun += length;
        m_state = State::Free;
        m_usedRun = 0;
    }
}

void RunCounter::Feed(const uint8_t* bits, size_t count) noexcept
{
    size_t at = 0;
    while (at < count) {
        const bool used = (bits[at / 8] >> (at % 8)) & 1u;
        const size_t length = RunLength(bits, at, count, used);
        AddRun(used, static_cast<int64_t>(length));
        at += length;
    }
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

