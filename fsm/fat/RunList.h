#pragma once
// A file's clusters as physical runs, in file order, in the engine's numbering
// (cluster 0 is the first cluster of the data area). A cluster that continues
// the previous run on disk extends it.

#include <cstdint>
#include <vector>

namespace fsread {

struct Run {
    int64_t first;
    int64_t length;
};

class RunList {
public:
    void Clear() noexcept
    {
        m_runs.clear();
        m_clusters = 0;
    }
    void Append(int64_t first, int64_t length)
    {
        if (length <= 0)
            return;
        if (!m_runs.empty() && m_runs.back().first + m_runs.back().length == first)
            m_runs.back().length += length;
        else
            m_runs.push_back({first, length});
        m_clusters += length;
    }
    const std::vector<Run>& Runs() const noexcept { return m_runs; }
    int64_t Clusters() const noexcept { return m_clusters; }
    bool Empty() const noexcept { return m_runs.empty(); }

private:
    std::vector<Run> m_runs;
    int64_t m_clusters = 0;
};

} // namespace fsread
