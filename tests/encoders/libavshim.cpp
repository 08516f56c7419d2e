// Preloaded into an encoder by the tests: loading libav fails
// (TORVANE_TEST_LIBAV=missing), as without the library package, or takes
// seconds (=slow; TORVANE_TEST_LIBAV_MS sets how long each library takes), as
// from a cold, slow disk. Everything else loads as usual.
#include <cstdlib>
#include <cstring>

#include <dlfcn.h>
#include <unistd.h>

extern "C" void *dlopen(const char *file, int mode)
{
    using Dlopen = void *(*)(const char *, int);
    static const Dlopen real = reinterpret_cast<Dlopen>(::dlsym(RTLD_NEXT, "dlopen"));
    const char *how = std::getenv("TORVANE_TEST_LIBAV");
    if (file && how &&
        (!std::strncmp(file, "libavformat", 11) || !std::strncmp(file, "libavcodec", 10) ||
         !std::strncmp(file, "libavutil", 9))) {
        if (!std::strcmp(how, "missing"))
            return nullptr;
        if (!std::strcmp(how, "slow")) {
            const char *ms = std::getenv("TORVANE_TEST_LIBAV_MS");
            ::usleep(useconds_t(ms ? std::atoi(ms) : 2000) * 1000);
        }
    }
    return real(file, mode);
}
