#pragma once

#include "commands.h"
#include "common/report.h"
#include "joblist/job.h"
#include "process/encoderprocess.h"

#include <QObject>
#include <QString>

#include <optional>

// The conv run that draws one frame of a job's output into a PNG: the job's
// first pass with "-preview", so the picture goes through the very turn,
// mirror, clip and size the conversion will use. Nothing for a job whose
// output has no picture.
std::optional<EncoderCommand> previewCommand(const CommandInputs &in, const QString &picture);

// A key that changes whenever anything that shapes the job's picture does.
QString previewKey(const CommandInputs &in);

// Makes previews one at a time in the background. A new request ends the one
// running, so only the latest choice costs time.
class PreviewMaker : public QObject
{
    Q_OBJECT

public:
    explicit PreviewMaker(QObject *parent = nullptr);

    // Where the pictures are written before they are read; a folder of ours.
    void setFolder(const QString &folder);
    // False when the job's output has no picture (nothing is started).
    bool request(const QString &key, const CommandInputs &in);
    void cancel();
    bool isBusy() const { return !m_key.isEmpty() || m_next.has_value(); }
    QString pendingKey() const { return m_next ? m_next->key : m_key; }

Q_SIGNALS:
    // The picture is in file, which the receiver reads and removes.
    void ready(const QString &key, const QString &file);
    void failed(const QString &key, FailureReason reason);

private:
    void startNext();

    struct Request
    {
        QString key;
        EncoderCommand command;
        QString picture; // the file it is to write
    };

    EncoderProcess m_process;
    Report::Reader m_reader;
    QString m_folder;
    QString m_key;     // of the running preview
    QString m_picture; // and the file it writes
    std::optional<Request> m_next;
    quint64 m_count = 0;
};
