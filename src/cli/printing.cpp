#include "printing.h"

#include "common/paths.h"

void writeBytes(FILE *to, const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), to);
    std::fflush(to);
}

void printLine(FILE *to, const QString &text)
{
    writeBytes(to, pathToBytes(text) + '\n');
}
