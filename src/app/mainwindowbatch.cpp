// The window's side of a batch: what it locks, and the captions and messages
// that follow the batch's events.
#include "mainwindow.h"

#include "chromewidgets.h"
#include "designedlayout.h"
#include "pictures.h"
#include "texts/statustexts.h"
#include "windowcommands.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <algorithm>

void MainWindow::setBatchLocked(bool locked)
{
    m_locked = locked;
    // The toolbar follows its commands; the list stays readable and the start
    // button becomes the stop button.
    m_commands->setBatchLocked(locked);
    for (QWidget *widget :
         std::initializer_list<QWidget *>{feedbackLink, browseButton, outputFolderEdit})
        widget->setEnabled(!locked);
}

void MainWindow::batchStateChanged(BatchController::State state)
{
    using State = BatchController::State;
    const bool busy = state != State::Idle;
    if (busy != m_locked) {
        setBatchLocked(busy);
        if (busy) {
            m_captions.batchStarted();
            progressBar->setValue(0);
        } else {
            m_captions.batchStopped();
        }
    }
    const bool stopping = state == State::Stopping;
    startButton->setText(busy ? (stopping ? u"正在停止..."_qs : u"停止转换"_qs)
                              : u"开始旋转视频！"_qs);
    startButton->setToolTip(busy ? u"立即停止，或在当前视频完成后停止"_qs
                                 : m_commands->start->toolTip());
    startButton->setIcon(busy ? Pictures::stopIcon(StartIconSide)
                              : Pictures::rotateIcon(StartIconSide));
    m_commands->setStopAfterJobAvailable(state == State::Running);
    updateCaption();
    if (state == State::Idle && m_closeAfterStop)
        QTimer::singleShot(0, this, &QWidget::close);
}

void MainWindow::showProgress(const ProgressDisplay &display)
{
    m_captions.setProgress(display);
    progressBar->setValue(std::clamp(int(display.percent), 0, 100));
    updateCaption();
}

void MainWindow::showPosition(const BatchPosition &position)
{
    m_captions.setPosition(position);
    updateCaption();
}

void MainWindow::updateCaption()
{
    progressCaption->setText(captionText());
    fitToText(progressCaption);
    positionLabel->setText(positionText());
    fitToText(positionLabel);
}

void MainWindow::listChanged()
{
    if (m_captions.listChanged())
        updateCaption();
}

void MainWindow::batchEnded(const BatchSummary &summary)
{
    m_captions.batchEnded(summary);
    progressBar->setValue(0);
    updateCaption();
    if (summary.failures.isEmpty() || m_closeAfterStop)
        return;
    const QList<JobFailure> &failures = summary.failures;
    const QString text = failureSummary(failures);
    const int answer = messages()->ask(MessageSink::Icon::Warning, u"转换失败"_qs, text,
                                       {u"查看编码器输出"_qs, u"确定"_qs});
    if (answer == 0) {
        QList<quint64> ids;
        for (const JobFailure &failure : failures)
            ids << failure.id;
        showEncoderOutput(ids);
    }
}

void MainWindow::batchFailed(FailureReason reason, const QString &detail)
{
    messages()->showMessage(MessageSink::Icon::Warning, u"输出文件夹"_qs,
                            StatusTexts::failure(reason) + u"\n\n"_qs + detail);
}
