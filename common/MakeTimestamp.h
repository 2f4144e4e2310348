#pragma once
#include <string>

// Local time now as fourteen digits: year, month, day, hour, minute, second.
std::u16string MakeTimestamp();
