#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

namespace engine {

// One bit per cluster (cluster c is bit c % 8 of byte c / 8), marked from file
// extents. The storage only ever grows: a smaller volume reuses a larger map,
// and bytes past what a scan clears keep earlier marks.
class ClusterMap {
public:
    // Makes the map hold at least `bytes` bytes and zeroes the first `bytes`.
    // False when the storage cannot be had or exceeds the machine's memory;
    // the map is then empty.
    bool Prepare(uint64_t bytes) noexcept;

    // Marks clusters [first, first + length) and tells whether any of them was
    // marked already or lies outside the map (those are not marked). Works a
    // byte or word at a time; the result is the cluster-at-a-time one.
    bool Mark(int64_t first, int64_t length) noexcept;

    const uint8_t* Data() const noexcept { return m_bytes.get(); }
    uint64_t Size() const noexcept { return m_size; }

private:
    std::unique_ptr<uint8_t[], void (*)(void*)> m_bytes{nullptr, &std::free};
    uint64_t m_size = 0;
};

} // namespace engine
