#include <cstdio>
#include <string>
#include <vector>

#include "Velk.h"

int main(int argc, char** argv)
{
    return velk::RunVelk(std::vector<std::string>(argv + 1, argv + argc), stdout, stderr);
}
