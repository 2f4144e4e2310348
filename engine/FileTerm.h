#pragma once
#include <cstdint>

#include "Int128.h"

struct ExtentList;

namespace engine {

// How split up one file is: S^2 / Q - 1 over its extent lengths (S their sum,
// Q the sum of their squares): 0 for one extent, k - 1 for k equal extents.
// Exact for every S (the square is never formed in 64 bits). Lengths below
// zero are not real extents and count as 0, so the term is never negative.
class FileTerm {
public:
    void Add(int64_t length) noexcept;
    double Value() const noexcept;

private:
    Int128 m_sum = 0;
    double m_squares = 0.0;
};

} // namespace engine
