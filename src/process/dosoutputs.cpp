#include "dosoutputs.h"

#include "messagesink.h"

#include <QDir>
#include <cerrno>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <unistd.h>
#endif
#include <QEventLoop>
#include <QTimer>

DOSOutputs::DOSOutputs(MessageSink *messages, QObject *parent)
    : QObject(parent), m_messages(messages), m_workingDirectory(QDir::tempPath()),
      m_decoder(QStringDecoder::System)
{}

DOSOutputs::~DOSOutputs()
{
    if (m_process) {
        // Never leave an encoder behind when the runner goes away.
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(StopGraceMs);
    }
}

QString DOSOutputs::lastLine() const
{
    qsizetype end = m_outputs.size();
    while (end > 0) {
        while (end > 0 && (m_outputs[end - 1] == u'\n' || m_outputs[end - 1] == u'\r' ||
                           m_outputs[end - 1].isSpace()))
            --end;
        qsizetype begin = end;
        while (begin > 0 && m_outputs[begin - 1] != u'\n' && m_outputs[begin - 1] != u'\r')
            --begin;
        const QString line = m_outputs.mid(begin, end - begin).trimmed();
        if (!line.isEmpty())
            return line;
        end = begin;
    }
    return {};
}

void DOSOutputs::showMessage(const QString &text)
{
    if (m_messages)
        m_messages->showMessage(MessageSink::Icon::Critical, u"Torvane"_qs, text);
}

bool DOSOutputs::start(const EncoderCommand &command)
{
    if (!command.isEmpty())
        m_command = command;
    if (m_running) {
        showMessage(u"上一个命令仍在运行，不能同时运行两个命令"_qs);
        return false;
    }
    if (m_command.program.isEmpty()) {
        showMessage(u"Command Line empty"_qs);
        return false;
    }

    auto *process = new QProcess(this);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setWorkingDirectory(m_workingDirectory);
#ifdef Q_OS_LINUX
    // A roomy pipe lets a chatty encoder run on while the window is busy.
    process->setChildProcessModifier([] { ::fcntl(STDOUT_FILENO, F_SETPIPE_SZ, 1 << 20); });
#endif
    process->start(m_command.program, m_command.arguments, QIODevice::ReadOnly);
    // Start-up failures are known within milliseconds; waiting for them keeps
    // the promise that a run that did not start raises no event.
    if (!process->waitForStarted(-1)) {
        const bool pipeFailed = process->errorString().contains(u"pipe"_qs, Qt::CaseInsensitive);
        const int error = errno;
        delete process;
        if (pipeFailed)
            showMessage(u"CreatePipe failed. Error: "_qs + QString::number(error));
        else
            showMessage(u"File or command not found"_qs);
        return false;
    }

    m_process = process;
    m_running = true;
    m_stopRequested = false;
    m_outcome = {};
    m_outputs.clear();
    m_decoder.resetState();
    connect(process, &QProcess::readyRead, this, &DOSOutputs::readOutput);
    connect(process, &QProcess::finished, this, &DOSOutputs::finishRun);
    return true;
}

QString DOSOutputs::ExecuteCommand(const EncoderCommand &command)
{
    if (!start(command))
        return {};
    QEventLoop loop;
    connect(this, &DOSOutputs::CommandOver, &loop, &QEventLoop::quit);
    loop.exec();
    return m_outputs;
}

void DOSOutputs::stop()
{
    if (!m_running || m_stopRequested)
        return;
    m_stopRequested = true;
    m_process->terminate();
    if (!m_killTimer) {
        m_killTimer = new QTimer(this);
        m_killTimer->setSingleShot(true);
        connect(m_killTimer, &QTimer::timeout, this, [this] {
            if (m_process)
                m_process->kill();
        });
    }
    m_killTimer->start(StopGraceMs);
}

void DOSOutputs::readOutput()
{
    const QByteArray data = m_process->readAll();
    for (qsizetype offset = 0; offset < data.size(); offset += PieceSize) {
        const QByteArrayView bytes =
            QByteArrayView(data).sliced(offset, std::min(PieceSize, data.size() - offset));
        // Decode straight onto the end of Outputs; a UTF-8 byte never gives more
        // than one UTF-16 unit, and a character cut by the read waits in the decoder.
        const qsizetype before = m_outputs.size();
        m_outputs.resize(before + bytes.size() + 1);
        QChar *end = m_decoder.appendToBuffer(m_outputs.data() + before, bytes);
        m_outputs.truncate(end - m_outputs.constData());
        if (m_outputs.size() == before)
            continue; // only the start of a character: it completes in the next piece
        Q_EMIT ReceiveOutputs(m_outputs.sliced(before));
    }
}

void DOSOutputs::finishRun(int exitCode, QProcess::ExitStatus status)
{
    readOutput();
    if (m_killTimer)
        m_killTimer->stop();
    if (m_stopRequested)
        m_outcome.status = RunOutcome::Status::Stopped;
    else if (status == QProcess::CrashExit)
        m_outcome.status = RunOutcome::Status::Crashed;
    else
        m_outcome.status = RunOutcome::Status::Exited;
    m_outcome.exitCode = exitCode;

    m_process->disconnect(this);
    m_process->deleteLater();
    m_process = nullptr;
    m_running = false;
    // Raised last, with the runner idle, so the handler may start the next run.
    Q_EMIT CommandOver(m_outcome);
}
