#include "VelkLevel.h"

#include <cmath>
#include <cstdint>
#include <initializer_list>

namespace engine {

namespace {

// Truncation toward zero that stays defined for values no int64 holds.
int64_t Truncate(double value) noexcept
{
    if (!(value > -9.2e18 && value < 9.2e18))
        return 0;
    return static_cast<int64_t>(value);
}

} // namespace

double VelkLevel(double& files, double& usedRuns, double& freeRuns) noexcept
{
    for (double* factor : {&files, &usedRuns, &freeRuns})
        if (*factor == 0.0)
            *factor = 1.0;
    const double product = freeRuns * usedRuns * files;
    if (product == 1.0)
        return 0.0;
    const double level = std::log10(product) + 1;
    if (!std::isfinite(level))
        return 0.0;
    const int64_t hundredths = Truncate(level * 100);
    const int64_t tenths = Truncate(level * 10);
    if (hundredths % 10 >= 5)
        return static_cast<double>(tenths + 1) * 0.1;
    return static_cast<double>(tenths) * 0.1;
}

} // namespace engine
