// A tiny loadable module for the library loader's tests.
extern "C" __attribute__((visibility("default"))) int PlatTestAnswer()
{
    return 42;
}
