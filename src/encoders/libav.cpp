#include "libav.h"

#include <atomic>

#include <QByteArray>

#include <cstring>

#include <dlfcn.h>

using namespace Qt::Literals::StringLiterals;

namespace {

enum Library { Util, Codec, Format, LibraryCount };

struct Loaded
{
    Libav functions;
    QString error;
    bool ok = false;
};

QByteArray soname(const char *name, int major)
{
    return "lib" + QByteArray(name) + ".so." + QByteArray::number(major);
}

template<typename Function>
bool resolve(void *library, const char *name, Function *function, QString *error)
{
    void *symbol = ::dlsym(library, name);
    if (!symbol) {
        *error = u"libav has no %1"_s.arg(QString::fromLatin1(name));
        return false;
    }
    // POSIX makes the object pointer from dlsym callable as the function.
    std::memcpy(function, &symbol, sizeof symbol);
    return true;
}

Loaded load()
{
    Loaded loaded;
    const QByteArray names[LibraryCount] = {soname("avutil", LIBAVUTIL_VERSION_MAJOR),
                                            soname("avcodec", LIBAVCODEC_VERSION_MAJOR),
                                            soname("avformat", LIBAVFORMAT_VERSION_MAJOR)};
    void *libraries[LibraryCount] = {};
    for (int i = 0; i < LibraryCount; ++i) {
        // Lazy: most of libav's own references are never called here.
        libraries[i] = ::dlopen(names[i].constData(), RTLD_LAZY | RTLD_LOCAL);
        if (!libraries[i]) {
            const char *why = ::dlerror();
            loaded.error = why ? QString::fromLocal8Bit(why)
                               : u"cannot load %1"_s.arg(QString::fromLatin1(names[i]));
            return loaded;
        }
    }
#define TORVANE_LIBAV_RESOLVE(library, name)                                                       \
    if (!resolve(libraries[library], #name, &loaded.functions.name, &loaded.error))                \
        return loaded;
    TORVANE_LIBAV_FUNCTIONS(TORVANE_LIBAV_RESOLVE)
#undef TORVANE_LIBAV_RESOLVE
    loaded.ok = true;
    return loaded;
}

} // namespace

namespace {

std::atomic<bool> loadedOnce = false;

} // namespace

const Libav *libav(QString *error)
{
    static const Loaded loaded = load();
    loadedOnce.store(loaded.ok, std::memory_order_release);
    if (!loaded.ok && error)
        *error = loaded.error;
    return loaded.ok ? &loaded.functions : nullptr;
}

bool libavLoaded()
{
    return loadedOnce.load(std::memory_order_acquire);
}
