#pragma once

namespace engine {

// The velk level from the three factors. A factor of 0.0 stands for "none
// measured" and is replaced by 1.0 in place, as the stored results show it.
// Rounds to one decimal by the hundredths digit; 0.0 when the product is 1.
double VelkLevel(double& files, double& usedRuns, double& freeRuns) noexcept;

} // namespace engine
