#include "textreporters.h"

#include "common/paths.h"
#include "printing.h"
#include "texts/statustexts.h"

#include <QDir>

#include <cmath>

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

int terminalColumns()
{
    winsize size = {};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

// Columns a text takes on a terminal: East Asian characters take two.
int columnsOf(QStringView text)
{
    int columns = 0;
    for (const QChar c : text)
        columns += c.unicode() >= 0x1100 && !c.isLowSurrogate() ? 2 : 1;
    return columns;
}

QString fitTo(QString text, int columns)
{
    while (columnsOf(text) > columns && !text.isEmpty())
        text.chop(1);
    return text;
}

} // namespace

bool stdoutIsTerminal()
{
    const QByteArray term = qgetenv("TERM");
    return ::isatty(STDOUT_FILENO) && term != "dumb";
}

void TextReporter::folderUnreadable(const QString &folder)
{
    printLine(stderr, u"torvane-cli: 无法读取文件夹，其中的文件没有加入："_qs + folder);
}

void TextReporter::jobDone(const QString &, const QString &output)
{
    printResult(u"OK "_qs + output);
}

void TextReporter::jobFailed(const JobFailure &failure)
{
    QString text = u"FAILED "_qs + failure.source + u": "_qs + StatusTexts::failure(failure.reason);
    const QString detail = StatusTexts::failureDetail(failure.reason, failure.detail,
                                                      failure.checks, failure.keptOutput);
    if (!detail.isEmpty())
        text += u" ("_qs + detail + u')';
    printResult(text);
}

void TextReporter::losslessRefused(const QString &source, const QString &why)
{
    printResult(u"NOTE "_qs + source + u": "_qs + StatusTexts::losslessRefusal(why));
}

void TextReporter::jobStopped(const QString &source)
{
    printResult(u"STOPPED "_qs + source);
}

void TextReporter::batchFailed(FailureReason reason, const QString &detail)
{
    printLine(stderr,
              u"torvane-cli: "_qs + StatusTexts::failure(reason) + u" ("_qs + detail + u')');
}

void TextReporter::printResult(const QString &text)
{
    printLine(stdout, text);
}

std::optional<QString> TextReporter::newProgressLine(const QString &what)
{
    QString line = StatusTexts::position(m_position.number, m_position.total) + u' ' + what;
    if (m_position.remainingSeconds)
        line += u' ' + StatusTexts::remaining(*m_position.remainingSeconds);
    if (line == m_lastProgress)
        return std::nullopt;
    m_lastProgress = line;
    return line;
}

void PlainReporter::passStarted(const PassCommand &pass)
{
    if (m_options.progress)
        printLine(stdout, pass.command.text);
    TextReporter::passStarted(pass);
}

void PlainReporter::progressChanged(const ProgressState &progress)
{
    if (!m_options.progress)
        return;
    // The busy indicator turns with every report; without it a line is new only
    // when the figures are.
    QString caption = progress.display.caption;
    caption.replace(progress.spinner + u' ', QString());
    if (const std::optional<QString> line = newProgressLine(caption))
        printLine(stdout, *line);
}

void PlainReporter::losslessRefused(const QString &source, const QString &why)
{
    if (m_options.notes)
        TextReporter::losslessRefused(source, why);
}

void TerminalReporter::progressChanged(const ProgressState &)
{
    const BatchPosition &at = position();
    QString what = displayPath(QDir(at.source).dirName());
    if (at.passes > 1)
        what += u" 第 %1/%2 遍"_qs.arg(at.pass).arg(at.passes);
    what += u" %1%"_qs.arg(int(std::floor(at.fraction * 100)));
    if (const std::optional<QString> line = newProgressLine(what)) {
        writeBytes(stdout, "\r\x1b[K" + fitTo(*line, terminalColumns() - 1).toUtf8());
        m_lineOpen = true;
    }
}

void TerminalReporter::printResult(const QString &text)
{
    closeLine();
    TextReporter::printResult(text);
}

void TerminalReporter::closeLine()
{
    if (m_lineOpen)
        writeBytes(stdout, "\r\x1b[K");
    m_lineOpen = false;
}
