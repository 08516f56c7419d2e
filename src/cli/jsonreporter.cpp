#include "jsonreporter.h"

#include "common/paths.h"
#include "printing.h"
#include "texts/statustexts.h"
#include "version.h"

#include <cmath>

namespace {

// One JSON object on one line, its keys in the order added ("event" first).
class JsonLine
{
public:
    explicit JsonLine(const char *event) { add("event", QString::fromLatin1(event)); }

    JsonLine &add(const char *key, const QString &value)
    {
        field(key);
        m_text += quoted(value);
        return *this;
    }
    JsonLine &add(const char *key, qint64 value)
    {
        field(key);
        m_text += QByteArray::number(value);
        return *this;
    }
    JsonLine &add(const char *key, double value)
    {
        field(key);
        m_text += QByteArray::number(std::round(value * 10000) / 10000, 'g', 10);
        return *this;
    }
    JsonLine &add(const char *key, std::optional<int> value)
    {
        field(key);
        m_text += value ? QByteArray::number(*value) : QByteArray("null");
        return *this;
    }
    // A path, and its bytes too when they are not all valid UTF-8.
    JsonLine &addPath(const char *key, const QString &path)
    {
        add(key, displayPath(path));
        if (displayPath(path) != path)
            add((QByteArray(key) + "_bytes").constData(),
                QString::fromLatin1(pathToBytes(path).toPercentEncoding("/")));
        return *this;
    }
    void printTo(FILE *to) const { writeBytes(to, m_text + "}\n"); }

private:
    void field(const char *key)
    {
        m_text += m_text.isEmpty() ? "{" : ",";
        m_text += '"';
        m_text += key;
        m_text += "\":";
    }
    static QByteArray quoted(const QString &value)
    {
        QByteArray out = "\"";
        for (const char c : value.toUtf8()) {
            switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (uchar(c) < 0x20)
                    out += "\\u00" + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
                else
                    out += c;
            }
        }
        return out + '"';
    }

    QByteArray m_text;
};

// The keys every event of a job begins with.
JsonLine jobEvent(const char *event, const BatchPosition &position, const QString &source)
{
    JsonLine line(event);
    line.add("job", qint64(position.number))
        .add("jobs", qint64(position.total))
        .addPath("source", source);
    return line;
}

} // namespace

void JsonReporter::batchStarted(int jobs)
{
    JsonLine("batch-start")
        .add("version", QStringLiteral(TORVANE_VERSION))
        .add("jobs", qint64(jobs))
        .printTo(m_out);
}

void JsonReporter::folderUnreadable(const QString &folder)
{
    JsonLine("warning")
        .add("reason", u"unreadable-folder"_qs)
        .addPath("path", folder)
        .printTo(m_out);
}

BatchPosition JsonReporter::positionOf(quint64 id) const
{
    BatchPosition position = m_running.value(id);
    position.total = m_total;
    return position;
}

void JsonReporter::jobStarted(const BatchPosition &position)
{
    m_running.insert(position.id, position);
    m_total = position.total;
    jobEvent("job-start", position, position.source)
        .add("passes", qint64(position.passes))
        .printTo(m_out);
}

void JsonReporter::positionChanged(const BatchPosition &position)
{
    m_running.insert(position.id, position);
    m_total = position.total;
    jobEvent("progress", position, position.source)
        .add("pass", qint64(position.pass))
        .add("passes", qint64(position.passes))
        .add("fraction", position.fraction)
        .add("batch_fraction", position.batchFraction)
        .add("remaining_seconds", position.remainingSeconds)
        .printTo(m_out);
}

void JsonReporter::jobDone(quint64 id, const QString &source, const QString &output)
{
    jobEvent("job-done", positionOf(id), source).addPath("output", output).printTo(m_out);
    m_running.remove(id);
}

void JsonReporter::jobFailed(const JobFailure &failure)
{
    jobEvent("job-failed", positionOf(failure.id), failure.source)
        .add("reason", StatusTexts::failureCode(failure.reason))
        .add("message", StatusTexts::failure(failure.reason))
        .add("detail", displayPath(StatusTexts::failureDetail(failure.reason, failure.detail,
                                                              failure.checks, failure.keptOutput)))
        .printTo(m_out);
    m_running.remove(failure.id);
}

void JsonReporter::losslessRefused(quint64 id, const QString &source, const QString &why)
{
    jobEvent("note", positionOf(id), source)
        .add("reason", u"lossless-refused"_qs)
        .add("message", StatusTexts::losslessRefusal(why))
        .add("detail", why)
        .printTo(m_out);
}

void JsonReporter::jobStopped(quint64 id, const QString &source)
{
    jobEvent("job-stopped", positionOf(id), source).printTo(m_out);
    m_running.remove(id);
}

void JsonReporter::batchFailed(FailureReason reason, const QString &detail)
{
    JsonLine("batch-failed")
        .add("reason", StatusTexts::failureCode(reason))
        .add("message", StatusTexts::failure(reason))
        .add("detail", displayPath(detail))
        .printTo(m_out);
}

void JsonReporter::batchEnded(const BatchSummary &summary, int exitStatus)
{
    JsonLine("batch-end")
        .add("converted", qint64(summary.converted))
        .add("failed", qint64(summary.failures.size()))
        .add("stopped", qint64(summary.stoppedJobs))
        .add("exit_status", qint64(exitStatus))
        .printTo(m_out);
}
