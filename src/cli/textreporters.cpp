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

void TextReporter::jobStarted(const BatchPosition &position)
{
    m_running.insert(position.number, position);
    m_latest = position;
}

void TextReporter::positionChanged(const BatchPosition &position)
{
    m_running.insert(position.number, position);
    m_latest = position;
}

void TextReporter::jobEnded(quint64 id)
{
    m_lastProgress.remove(id);
    for (auto it = m_running.begin(); it != m_running.end(); ++it) {
        if (it->id == id) {
            m_running.erase(it);
            return;
        }
    }
}

void TextReporter::jobDone(quint64 id, const QString &, const QString &output)
{
    jobEnded(id);
    printResult(u"OK "_qs + printablePath(output));
}

void TextReporter::jobFailed(const JobFailure &failure)
{
    jobEnded(failure.id);
    QString text = u"FAILED "_qs + printablePath(failure.source) + u": "_qs +
                   StatusTexts::failure(failure.reason);
    const QString detail = StatusTexts::failureDetail(failure.reason, failure.detail,
                                                      failure.checks, failure.keptOutput);
    if (!detail.isEmpty())
        text += u" ("_qs + printablePath(detail) + u')';
    printResult(text);
}

void TextReporter::losslessRefused(quint64, const QString &source, const QString &why)
{
    printResult(u"NOTE "_qs + printablePath(source) + u": "_qs + StatusTexts::losslessRefusal(why));
}

void TextReporter::jobStopped(quint64 id, const QString &source)
{
    jobEnded(id);
    printResult(u"STOPPED "_qs + printablePath(source));
}

void TextReporter::batchFailed(FailureReason reason, const QString &detail)
{
    printLine(stderr, u"torvane-cli: "_qs + StatusTexts::failure(reason) + u" ("_qs +
                          printablePath(detail) + u')');
}

void TextReporter::printResult(const QString &text)
{
    printLine(stdout, text);
}

std::optional<QString> TextReporter::newProgressLine(quint64 id, QString line)
{
    if (m_latest.remainingSeconds)
        line += u' ' + StatusTexts::remaining(*m_latest.remainingSeconds);
    QString &last = m_lastProgress[id];
    if (line == last)
        return std::nullopt;
    last = line;
    return line;
}

void PlainReporter::passStarted(const PassCommand &pass)
{
    if (m_options.progress)
        printLine(stdout, pass.command.text);
    TextReporter::passStarted(pass);
}

void PlainReporter::positionChanged(const BatchPosition &position)
{
    TextReporter::positionChanged(position);
    if (!m_options.progress || position.caption.isEmpty())
        return;
    const QString line = StatusTexts::position(position.number, position.total) + u' ' +
                         displayPath(QDir(position.source).dirName()) + u' ' + position.caption;
    if (const std::optional<QString> text = newProgressLine(position.id, line))
        printLine(stdout, *text);
}

void PlainReporter::losslessRefused(quint64 id, const QString &source, const QString &why)
{
    if (m_options.notes)
        TextReporter::losslessRefused(id, source, why);
}

void TerminalReporter::positionChanged(const BatchPosition &position)
{
    TextReporter::positionChanged(position);
    const auto percent = [](const BatchPosition &at) {
        return u" %1%"_qs.arg(int(std::floor(at.fraction * 100)));
    };
    const auto name = [](const BatchPosition &at) {
        return displayPath(QDir(at.source).dirName());
    };
    QString line;
    if (running().size() <= 1) {
        line = StatusTexts::position(position.number, position.total) + u' ' + name(position);
        if (position.passes > 1)
            line += u" 第 %1/%2 遍"_qs.arg(position.pass).arg(position.passes);
        line += percent(position);
    } else {
        // The count of jobs started, then each running job, the oldest first.
        line = StatusTexts::position(position.started, position.total);
        QStringList jobs;
        for (const BatchPosition &at : running())
            jobs << name(at) + percent(at);
        line += u' ' + jobs.join(u" · "_qs);
    }
    if (const std::optional<QString> text = newProgressLine(0, line)) {
        writeBytes(stdout, "\r\x1b[K" + fitTo(*text, terminalColumns() - 1).toUtf8());
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
