// The window's side of a batch: what it locks, and the captions and messages
// that follow the batch's events.
#include "mainwindow.h"

#include "chromewidgets.h"
#include "common/paths.h"
#include "designedlayout.h"
#include "endnotification.h"
#include "launcherprogress.h"
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
    m_batchState = state;
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
    m_commands->setStopAfterJobAvailable(state == State::Running,
                                         state == State::Stopping &&
                                             m_batch->stopMode() ==
                                                 BatchController::StopMode::AfterCurrentJob);
    updateStartButton();
    updateCaption();
    updateBatchShare();
    if (state == State::Idle && m_closeAfterStop)
        QTimer::singleShot(0, this, &QWidget::close);
}

void MainWindow::updateStartButton()
{
    using State = BatchController::State;
    const State state = m_batchState;
    if (state == State::Idle) {
        startButton->setText(u"开始旋转视频！"_qs);
        startButton->setToolTip(m_commands->start->toolTip());
        startButton->setIcon(Pictures::rotateIcon(StartIconSide));
    } else if (m_paused) {
        startButton->setText(u"已暂停"_qs);
        startButton->setToolTip(u"已暂停：可以继续转换，或停止"_qs);
        startButton->setIcon(Pictures::pauseIcon(StartIconSide));
    } else {
        const bool stopping = state == State::Stopping;
        startButton->setText(stopping ? u"正在停止..."_qs : u"停止转换"_qs);
        startButton->setToolTip(stopping ? u"当前视频完成后停止，也可以继续转换或立即停止"_qs
                                         : u"暂停、立即停止，或在当前视频完成后停止"_qs);
        startButton->setIcon(Pictures::stopIcon(StartIconSide));
    }
}

void MainWindow::showProgress(const ProgressDisplay &display)
{
    m_captions.setProgress(display);
    progressBar->setValue(m_captions.barValue());
    updateCaption();
}

void MainWindow::showPosition(const BatchPosition &position)
{
    m_captions.setPosition(position);
    progressBar->setValue(m_captions.barValue());
    updateCaption();
    updateBatchShare();
}

void MainWindow::updateBatchShare()
{
    if (m_batchState == BatchController::State::Idle) {
        setWindowTitle(u"Torvane"_qs);
        m_launcher->show(std::nullopt);
        return;
    }
    const int percent = m_captions.batchPercent();
    setWindowTitle((m_paused ? u"已暂停 "_qs : QString()) + u"%1% - Torvane"_qs.arg(percent));
    m_launcher->show(percent / 100.0);
}

void MainWindow::notifyBatchEnd(const BatchSummary &summary)
{
    if (isActiveWindow() || m_closeAfterStop)
        return;
    QString body = u"已转换 %1 个视频"_qs.arg(summary.converted);
    if (!summary.failures.isEmpty())
        body += u"，%1 个转换失败"_qs.arg(summary.failures.size());
    m_endNotification->notify(summary.stopped ? u"Torvane：转换已停止"_qs : u"Torvane：转换完成"_qs,
                              body, m_batch->outputFolder());
}

void MainWindow::updateCaption()
{
    positionLabel->setText(positionText());
    fitToText(positionLabel);
    // The line stops short of the start button; the tool tip has it whole.
    // With no file manager to open it, the end says where the output went.
    QString caption = captionText();
    const QFontMetrics metrics = progressCaption->fontMetrics();
    const int room = std::max(startButton->x() - px(120) - progressCaption->x(), 0);
    const QString folder = m_captions.unopenedFolder();
    if (!folder.isEmpty()) {
        caption += u"  输出文件夹："_qs;
        caption += metrics.elidedText(displayPath(folder), Qt::ElideMiddle,
                                      std::max(room - metrics.horizontalAdvance(caption), 0));
        progressCaption->setToolTip(displayPath(folder));
    } else {
        const QString shown = metrics.elidedText(caption, Qt::ElideRight, room);
        progressCaption->setToolTip(shown == caption ? QString() : caption);
        caption = shown;
    }
    progressCaption->setText(caption);
    fitToText(progressCaption);
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
    notifyBatchEnd(summary);
    // A close question the end made moot goes; the summary follows once its
    // box has closed, never on top of it.
    if (messages()->isAsking())
        messages()->dismissQuestion();
    if (summary.failures.isEmpty() || m_closeAfterStop)
        return;
    // Its box waits for an answer: not inside the batch's change of state,
    // where a second start or another signal would run into a batch half done.
    QTimer::singleShot(0, this, [this, summary] { showFailureSummary(summary); });
}

void MainWindow::showFailureSummary(const BatchSummary &summary)
{
    const QList<JobFailure> &failures = summary.failures;
    // Enter closes it; the encoders' output and a retry take a deliberate choice.
    const int answer = messages()->askWithList(
        MessageSink::Icon::Warning, u"转换失败"_qs, failureSummaryIntro(int(failures.size())),
        failureSummaryItems(failures), {u"查看编码器输出"_qs, u"重试失败的视频"_qs, u"确定"_qs}, 2);
    if (answer == 1)
        m_commands->retryFailed->trigger();
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
