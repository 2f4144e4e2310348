#include "FileTerm.h"
#include "Int128.h"

namespace engine {

void FileTerm::Add(int64_t length) noexcept
{
    if (length <= 0)
        return;
    m_sum += length;
    const double d = static_cast<double>(length);
    m_squares += d * d;
}

double FileTerm::Value() const noexcept
{
    if (m_sum == 0)
        return 0.0;
    double square;
    if (m_sum < (static_cast<Int128>(1) << 63)) {
        // The exact square in 128 bits, rounded once.
        square = static_cast<double>(m_sum * m_sum);
    } else {
        const double sum = static_cast<double>(m_sum);
        square = sum * sum;
    }
    return square / m_squares - 1;
}

} // namespace engine
