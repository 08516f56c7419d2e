#include "previewmaker.h"

#include "common/formats.h"
#include "common/paths.h"

std::optional<EncoderCommand> previewCommand(const CommandInputs &in, const QString &picture)
{
    if (Formats::at(in.job.format).firstPass == FirstPass::AudioOnly)
        return std::nullopt;
    EncoderCommand command = firstPassCommand(in).command;
    command.arguments << u"-preview"_qs << picture;
    command.text += u" -preview "_qs + picture;
    return command;
}

QString previewKey(const CommandInputs &in)
{
    const JobSettings &job = in.job;
    QString key = in.source;
    // A file changed in place is another picture.
    key += u'\n' + QString::number(RawFile::size(in.source)) + u' ' +
           QString::number(RawFile::modifiedNs(in.source));
    key += u'\n' + QString::number(job.format);
    key += u' ' + QString::number(job.rotation.clockwiseQuarters());
    key += job.rotation.isMirrored() ? u" m"_qs : u" -"_qs;
    key += job.sourceOrientation == SourceOrientation::Ignore ? u" i"_qs : u" f"_qs;
    key += in.lossless ? u" l"_qs : u" -"_qs;
    if (job.clip)
        key += u" %1+%2"_qs.arg(job.clip->startSeconds).arg(job.clip->lengthSeconds);
    return key;
}

PreviewMaker::PreviewMaker(QObject *parent) : QObject(parent)
{
    connect(&m_process, &EncoderProcess::reportReceived, this,
            [this](const QByteArray &piece) { m_reader.feed(piece); });
    connect(&m_process, &EncoderProcess::finished, this, [this](const RunOutcome &outcome) {
        const QString key = std::exchange(m_key, QString());
        const Report::RunReport &report = m_reader.report();
        // Only the picture asked for, or one numbered beside it, is ours.
        const QString picture = isNameOf(m_picture, report.output) ? report.output : QString();
        if (m_next || key.isEmpty()) {
            // Superseded or cancelled: nobody waits for this one any more.
            if (!picture.isEmpty())
                RawFile::remove(picture);
        } else if (outcome.succeeded() && !picture.isEmpty()) {
            Q_EMIT ready(key, picture);
        } else if (!key.isEmpty()) {
            const FailureReason reason = failureReasonOf(report.error);
            Q_EMIT failed(key,
                          reason == FailureReason::None ? FailureReason::EncoderFailed : reason);
        }
        startNext();
    });
}

void PreviewMaker::setFolder(const QString &folder)
{
    m_folder = folder;
    m_process.setWorkingDirectory(folder);
}

bool PreviewMaker::request(const QString &key, const CommandInputs &in)
{
    const QString picture = withTrailingSeparator(m_folder) + u"preview-%1.png"_qs.arg(++m_count);
    std::optional<EncoderCommand> command = previewCommand(in, picture);
    if (!command) {
        cancel();
        return false;
    }
    m_next = Request{key, *command, picture};
    if (m_process.isRunning())
        m_process.stop();
    else
        startNext();
    return true;
}

void PreviewMaker::cancel()
{
    m_next.reset();
    m_key.clear();
    if (m_process.isRunning())
        m_process.stop();
}

void PreviewMaker::startNext()
{
    if (!m_next || m_process.isRunning())
        return;
    auto [key, command, picture] = *std::exchange(m_next, std::nullopt);
    m_reader.reset();
    RawFile::makePath(m_folder);
    if (m_process.start(command)) {
        m_key = key;
        m_picture = picture;
        return;
    }
    Q_EMIT failed(key, FailureReason::EncoderMissing);
}
