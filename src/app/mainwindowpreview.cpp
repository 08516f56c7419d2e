// The preview of the current job: a frame the encoder draws through the job's
// own settings, made in the background and kept for when the job comes back.
#include "mainwindow.h"

#include "chromewidgets.h"
#include "common/paths.h"
#include "jobpresentation.h"
#include "previewpanel.h"
#include "texts/statustexts.h"

#include <QDir>
#include <QItemSelectionModel>
#include <QTimer>

void MainWindow::connectPreview()
{
    m_previewMaker = new PreviewMaker(this);
    m_previewMaker->setFolder(m_scratch.isValid() ? m_scratch.path() : QDir::tempPath());
    // About 1 MB a picture at most (640 px).
    m_previews.setMaxCost(64);
    m_previewTimer = new QTimer(this);
    m_previewTimer->setSingleShot(true);
    m_previewTimer->setInterval(PreviewSettleMs);
    connect(m_previewTimer, &QTimer::timeout, this, &MainWindow::updatePreview);
    const auto soon = [this] { m_previewTimer->start(); };
    connect(jobListView->selectionModel(), &QItemSelectionModel::currentChanged, this, soon);
    connect(&m_jobModel, &QAbstractItemModel::rowsRemoved, this, soon);
    connect(&m_jobModel, &QAbstractItemModel::modelReset, this, soon);
    // A change of the current job's settings; progress of other rows passes by.
    connect(&m_jobModel, &QAbstractItemModel::dataChanged, this,
            [this, soon](const QModelIndex &from, const QModelIndex &to) {
                const int row = jobListView->currentIndex().row();
                if (row >= from.row() && row <= to.row())
                    soon();
            });
    connect(m_previewMaker, &PreviewMaker::ready, this, &MainWindow::previewReady);
    connect(m_previewMaker, &PreviewMaker::failed, this, &MainWindow::previewFailed);
}

void MainWindow::updatePreview()
{
    if (!m_previewMaker || previewPanel->isHidden()) {
        m_previewKey.clear();
        if (m_previewMaker)
            m_previewMaker->cancel();
        return;
    }
    const int row = jobListView->currentIndex().row();
    if (row < 0 || row >= m_jobs.count()) {
        m_previewKey.clear();
        m_previewMaker->cancel();
        previewPanel->clear();
        return;
    }
    const CommandInputs in = m_batch->inputsFor(m_jobs.job(row));
    const QString key = previewKey(in);
    if (key == m_previewKey)
        return;
    m_previewKey = key;
    if (m_previews.contains(key)) {
        showCachedPreview(key);
        m_previewMaker->cancel();
    } else if (m_previewMaker->request(key, in)) {
        previewPanel->showMessage(u"正在生成预览…"_qs);
    } else {
        previewPanel->showMessage(u"这个格式只有声音，没有画面"_qs);
    }
}

void MainWindow::previewReady(const QString &key, const QString &file)
{
    QImage picture(file);
    RawFile::remove(file);
    if (picture.isNull()) {
        previewFailed(key, FailureReason::NoOutput);
        return;
    }
    m_previews.insert(key, new QImage(std::move(picture)), 1);
    if (key == m_previewKey)
        showCachedPreview(key);
}

void MainWindow::previewFailed(const QString &key, FailureReason reason)
{
    if (key == m_previewKey)
        previewPanel->showMessage(u"无法预览：%1"_qs.arg(StatusTexts::failure(reason)));
}

void MainWindow::showCachedPreview(const QString &key)
{
    const int row = jobListView->currentIndex().row();
    const QImage *picture = m_previews.object(key);
    if (!picture || row < 0 || row >= m_jobs.count())
        return;
    const Job &job = m_jobs.job(row);
    previewPanel->showPicture(*picture, fileNameOf(job.source) + u'\n' +
                                            rotationText(job.settings) + u" · "_qs +
                                            formatText(job.settings));
}
