#include "console.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace console {
namespace {

char lastByte = '\n';
bool gone = false;
int channel = -1;

void writeAll(int fd, QByteArrayView text, bool tracked = true)
{
    const char *data = text.data();
    qsizetype left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (errno == EPIPE)
                gone = true;
            return;
        }
        data += n;
        left -= n;
    }
    if (tracked && !text.isEmpty())
        lastByte = text.back();
}

// A line of our own never continues a "\r" status the reader has not ended.
void startLine(int fd)
{
    if (lastByte != '\n')
        writeAll(fd, "\n");
}

QByteArray sanitized(Tool tool, QByteArray text)
{
    if (tool == Tool::Conv) {
        text.replace('(', '[');
        text.replace(')', ']');
    }
    return text;
}

} // namespace

void openReportChannel()
{
    const char *named = std::getenv(Report::ChannelVariable);
    const bool asked =
        named && QByteArrayView(named) == QByteArray::number(Report::ChannelDescriptor);
    ::unsetenv(Report::ChannelVariable);
    struct stat st = {};
    if (asked && ::fstat(Report::ChannelDescriptor, &st) == 0 && S_ISFIFO(st.st_mode)) {
        channel = Report::ChannelDescriptor;
        ::fcntl(channel, F_SETFD, FD_CLOEXEC);
    }
}

int reportDescriptor()
{
    return channel;
}

void progress(QByteArrayView text)
{
    writeAll(STDOUT_FILENO, text);
}

void report(const QByteArray &line)
{
    if (channel >= 0) {
        writeAll(channel, line, false);
        return;
    }
    startLine(STDOUT_FILENO);
    writeAll(STDOUT_FILENO, line);
}

bool quietPositions()
{
    static const bool terminal = ::isatty(STDOUT_FILENO) == 1;
    return channel < 0 && terminal;
}

void message(Tool tool, const QByteArray &line)
{
    startLine(STDERR_FILENO);
    writeAll(STDERR_FILENO, sanitized(tool, line) + '\n');
}

void message(Tool tool, const QString &line)
{
    message(tool, line.toUtf8());
}

void failure(Tool tool, Report::Error error, const QString &line)
{
    report(Report::errorLine(error, line));
    message(tool, line);
}

bool readerGone()
{
    return gone;
}

} // namespace console
