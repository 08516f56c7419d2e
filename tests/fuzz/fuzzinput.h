#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// An invariant that does not hold: abort, so libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

inline QByteArray fuzzBytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), qsizetype(size));
}

// Calls f with the input as text both ways the program meets bytes: UTF-8 (what
// the system hands over; invalid sequences become U+FFFD) and Latin-1 (every
// byte one character). Plain ASCII reads the same both ways and runs once.
template<typename F> void forEachText(const uint8_t *data, size_t size, F &&f)
{
    const QByteArray bytes = fuzzBytes(data, size);
    f(QString::fromUtf8(bytes));
    if (std::any_of(data, data + size, [](uint8_t b) { return b >= 0x80; }))
        f(QString::fromLatin1(bytes));
}

// One argument or text per line, as the seed files are written.
inline QStringList fuzzLines(const QString &text)
{
    return text.split(u'\n');
}
