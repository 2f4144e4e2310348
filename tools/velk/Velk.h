#pragma once
#include <cstdio>
#include <string>
#include <vector>

namespace velk {

// The whole program: 0 done, 1 a volume could not be opened or a scan was
// stopped (or a library is missing), 2 a usage error.
int RunVelk(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

} // namespace velk
