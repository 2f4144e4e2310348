// A cache library that records how the engine calls it.

#include <cstdio>
#include <cstdlib>

namespace {
int g_token;

void Record(const char* what)
{
    if (const char* log = std::getenv("VELK_CACHE_LOG")) {
        if (std::FILE* f = std::fopen(log, "a")) {
            std::fputs(what, f);
            std::fputc('\n', f);
            std::fclose(f);
        }
    }
}
} // namespace

extern "C" __attribute__((visibility("default"))) int CreateCache1(void** cache, int size)
{
    *cache = &g_token;
    Record(size == 65536 ? "create 65536" : "create other");
    return 7;
}

extern "C" __attribute__((visibility("default"))) int FreeCache1(void** cache)
{
    Record(*cache == &g_token ? "free token" : "free other");
    return 9;
}
