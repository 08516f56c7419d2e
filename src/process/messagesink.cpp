#include "messagesink.h"

#include <cstdio>

void StderrMessageSink::showMessage(Icon, const QString &title, const QString &text)
{
    const QByteArray line = (title.isEmpty() ? text : title + u": "_qs + text).toLocal8Bit();
    std::fprintf(stderr, "%s\n", line.constData());
}
