#include "fakes.h"
#include "version.h"

#include "app/chromewidgets.h"
#include "app/desktopactions.h"
#include "app/optionsdialog.h"
#include "app/recordwindow.h"
#include "app/windowcommands.h"
#include "texts/statustexts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTextBoundaryFinder>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QTreeWidget>
#include <QUrlQuery>

namespace {

// Drags the data onto the target and drops it there, as the window system would.
void dragAndDrop(QWidget *target, std::unique_ptr<QMimeData> mime)
{
    const QPoint at(20, 20);
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, mime.get(), Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QCOMPARE(enter.dropAction(), Qt::CopyAction);
    QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, mime.get(), Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    QVERIFY(drop.isAccepted());
    QCOMPARE(drop.dropAction(), Qt::CopyAction);
}

void sendMouse(QWidget *target, QEvent::Type type, const QPoint &pos,
               Qt::MouseButton button = Qt::NoButton)
{
    QMouseEvent event(type, QPointF(pos), target->mapToGlobal(QPointF(pos)), button, button,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void writeFile(const QString &path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("x");
}

} // namespace

class tst_AppWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_runtime, m_program;
    std::unique_ptr<Harness> h;

private Q_SLOTS:
    void initTestCase() { isolateTestRun(m_runtime); }

    // At its smallest, the window is the designed layout these tests measure.
    // Where the window keeps the last dialog folder; none at the start of a test.
    QString foldersFile() const { return settingsFilePath(u"folders.ini"_qs, m_program.path()); }
    void forgetFolders() const
    {
        QFile::remove(foldersFile());
        QDir(foldersFile()).removeRecursively();
    }

    void init()
    {
        forgetFolders();
        h = std::make_unique<Harness>(m_program.path());
        h->window->resize(h->window->minimumSize());
    }
    void activate()
    {
        h->window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(h->window.get()));
    }
    void cleanup()
    {
        h.reset();
        forgetFolders();
    }

    void controlGeometry_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("rect");
        // Labels may grow to fit their caption; everything else keeps its designed box.
        QTest::addColumn<bool>("mayGrow");
        const int toolbarLeft[MainWindow::ToolbarButtons] = {0, 94, 188, 376, 282, 470};
        for (int i = 0; i < MainWindow::ToolbarButtons; ++i) {
            const QString &name = toolbarButtonNames[i];
            QTest::newRow(qPrintable(name)) << name << QRect(toolbarLeft[i], 0, 95, 66) << false;
        }
        QTest::newRow("startOverlay") << u"startOverlay"_qs << QRect(2, 68, 563, 378) << false;
        QTest::newRow("jobListCaption") << u"jobListCaption"_qs << QRect(8, 70, 52, 14) << true;
        QTest::newRow("jobListView") << u"jobListView"_qs << QRect(4, 88, 555, 234) << false;
        QTest::newRow("emptyListHint") << u"emptyListHint"_qs << QRect(184, 190, 163, 21) << false;
        QTest::newRow("browseButton") << u"browseButton"_qs << QRect(508, 352, 47, 20) << false;
        QTest::newRow("startButton") << u"startButton"_qs << QRect(404, 386, 153, 55) << false;
        QTest::newRow("progressCaption")
            << u"progressCaption"_qs << QRect(184, 392, 23, 14) << true;
        QTest::newRow("progressBar") << u"progressBar"_qs << QRect(6, 418, 391, 21) << false;
        QTest::newRow("webLink") << u"webLink"_qs << QRect(8, 450, 247, 13) << true;
    }
    void controlGeometry()
    {
        QFETCH(QString, name);
        QFETCH(QRect, rect);
        QFETCH(bool, mayGrow);
        QWidget *widget = h->control(name);
        QVERIFY(widget);
        // Whatever its box, the caption shows whole.
        if (auto *label = qobject_cast<QLabel *>(widget))
            QVERIFY(label->contentsRect().width() >=
                    label->fontMetrics().horizontalAdvance(label->text()));
        if (auto *button = qobject_cast<QAbstractButton *>(widget))
            QVERIFY(button->width() - 4 >= button->fontMetrics().horizontalAdvance(button->text()));
        const QRect actual = widget->geometry();
        if (!mayGrow) {
            QCOMPARE(actual, rect);
            return;
        }
        QCOMPARE(actual.topLeft(), rect.topLeft());
        QVERIFY2(actual.width() >= rect.width() && actual.height() >= rect.height(),
                 qPrintable(u"%1x%2"_qs.arg(actual.width()).arg(actual.height())));
        // A grown label must not run into the controls beside or below it.
        for (QWidget *other : h->window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (other == widget || other->objectName() == u"startOverlay"_qs || other->isHidden())
                continue;
            QVERIFY2(!actual.intersects(other->geometry()),
                     qPrintable(name + u" overlaps "_qs + other->objectName()));
        }
    }

    void settingChoices()
    {
        // A choice in the lists reaches the settings; a change made in code shows in the lists.
        auto *format = h->control<QComboBox>(u"formatList"_qs);
        ConversionSettings &settings = h->window->conversionSettings();
        format->setFocus();
        QTest::keyClick(format, Qt::Key_Down);
        QCOMPARE(settings.format(), int(Formats::Mpg));
        // Half a turn comes last, after the five of old.
        QTest::keyClick(h->control(u"rotationList"_qs), Qt::Key_End);
        QCOMPARE(settings.rotationEntry(), 5);
        QCOMPARE(settings.rotation(), PictureTransform::turn(2));
        settings.selectListedFormat(4);
        QCOMPARE(format->currentIndex(), 4);
    }

    void drop_data()
    {
        QTest::addColumn<bool>("onOverlay");
        QTest::addColumn<QStringList>("paths"); // empty: text and a web link instead of files
        QTest::addColumn<QStringList>("labels");
        QTest::newRow("files on the list")
            << false
            << QStringList{u"/m/a.mp4"_qs, u"/m/b.avi"_qs, u"/m/Holiday"_qs,
                           u"/m/我的 视频,1.mkv"_qs, u"/m/a.mp4"_qs}
            << QStringList{u"MP4"_qs, u"AVI"_qs, u"DAY"_qs, u"MKV"_qs, u"MP4"_qs};
        QTest::newRow("text on the list") << false << QStringList() << QStringList();
        QTest::newRow("files on the overlay") << true << QStringList{u"/m/z.avi"_qs, u"/m/a.mp4"_qs}
                                              << QStringList{u"AVI"_qs, u"MP4"_qs};
        QTest::newRow("text on the overlay") << true << QStringList() << QStringList();
    }
    void drop()
    {
        QFETCH(bool, onOverlay);
        QFETCH(QStringList, paths);
        QFETCH(QStringList, labels);
        if (!onOverlay)
            h->click(u"startOverlay"_qs);
        auto *view = h->control<QTreeView>(u"jobListView"_qs);
        std::unique_ptr<QMimeData> mime = fileDrop(paths);
        if (paths.isEmpty()) {
            mime->setUrls({QUrl(u"https://example.org/v.mp4"_qs)});
            mime->setText(u"/m/not-a-file.mp4"_qs);
        }
        dragAndDrop(onOverlay ? h->control(u"startOverlay"_qs) : view->viewport(), std::move(mime));

        QCOMPARE(h->window->jobList().paths(), paths);
        for (int row = 0; row < labels.size(); ++row) {
            QCOMPARE(view->model()->index(row, 0).data().toString(), paths[row]);
            QCOMPARE(view->model()->index(row, 1).data().toString(), labels[row]);
        }
        QVERIFY(h->control(u"startOverlay"_qs)->isHidden());
        // On the overlay even a drop that adds nothing takes the hint away.
        QCOMPARE(h->hintShown(), !onOverlay && paths.isEmpty());
    }

    void overlayAndLinks()
    {
        // Any toolbar click takes the start screen away; the web button has no dialog of its own.
        h->click(u"webSiteButton"_qs);
        QVERIFY(h->control(u"startOverlay"_qs)->isHidden());
        // The feedback link turns bold under the mouse, and back over the bare background.
        auto *feed = h->control<QLabel>(u"feedbackLink"_qs);
        sendMouse(feed, QEvent::MouseMove, QPoint(3, 3));
        QVERIFY(feed->font().bold());
        QVERIFY(feed->width() >= feed->fontMetrics().horizontalAdvance(feed->text()));
        sendMouse(h->window.get(), QEvent::MouseMove, QPoint(400, 460));
        QVERIFY(!feed->font().bold());
        h->click(u"webLink"_qs);
        h->click(u"feedbackLink"_qs);
        // No site yet: the web links lead to the help the program ships.
        QCOMPARE(h->urls.size(), 3);
        const QUrl help = QUrl::fromLocalFile(m_program.filePath(u"help.html"_qs));
        QCOMPARE(h->urls[0], help);
        QCOMPARE(h->urls[1], help);
        QCOMPARE(h->urls[2].adjusted(QUrl::RemoveFragment), help);
        QCOMPARE(h->urls[2].fragment(), u"feedback"_qs);
    }

    void addFile()
    {
        FakeDialogRunner &dialogs = h->dialogs;
        const JobQueue &jobs = h->window->jobList();
        dialogs.openAnswers = {
            {}, {u"/v/a.mp4"_qs}, {u"/v/notes.txt"_qs, u"/v/b.mov"_qs, u"/v/a.mp4"_qs}, {}};
        // A cancel changes nothing, not even the remembered folder.
        h->click(u"addVideoButton"_qs);
        QVERIFY(jobs.isEmpty());
        QVERIFY(h->hintShown());
        QVERIFY(h->window->lastFileFolder().isEmpty());
        QCOMPARE(dialogs.openCalls[0].startFolder, QDir::currentPath());
        // Videos and sound first, then every file.
        const FileFilters &filters = dialogs.openCalls[0].filters;
        QCOMPARE(filters.size(), 2);
        QCOMPARE(filters[0].description, u"视频和音频文件"_qs);
        for (const char *type : {"*.mp4", "*.mkv", "*.mov", "*.mp3", "*.rmvb"})
            QVERIFY2(filters[0].pattern.split(u';').contains(QLatin1String(type)), type);
        QCOMPARE(filters[1].description, u"全部格式(*.*)"_qs);

        h->window->addFileByDialog();
        QCOMPARE(jobs.job(0).typeLabel, u"MP4"_qs);
        QVERIFY(!h->hintShown());
        // The next dialog starts in that file's folder with its name filled in;
        // every file picked there is added, in the dialog's order, a repeat too.
        h->window->addFileByDialog();
        QCOMPARE(dialogs.openCalls[2].startFolder, u"/v/"_qs);
        QCOMPARE(dialogs.openCalls[2].fileName, u"/v/a.mp4"_qs);
        h->window->addFileByDialog();
        QCOMPARE(dialogs.openCalls.size(), 4);
        QCOMPARE(jobs.paths(),
                 (QStringList{u"/v/a.mp4"_qs, u"/v/notes.txt"_qs, u"/v/b.mov"_qs, u"/v/a.mp4"_qs}));
        QCOMPARE(jobs.job(2).typeLabel, u"MOV"_qs);
        QCOMPARE(h->window->lastFileFolder(), u"/v/"_qs);
    }

    // The folder of the last file or folder picked is where both dialogs open,
    // also in the next window.
    void lastFolderAcrossRestart()
    {
        QTemporaryDir dir;
        h->dialogs.folderAnswers = {dir.path()};
        QSignalSpy done(h->window.get(), &MainWindow::folderSearchDone);
        h->window->addFolder();
        QVERIFY(done.wait(5000));
        h->window->addFileByDialog();
        QCOMPARE(h->dialogs.openCalls.constLast().startFolder, dir.path());

        h = std::make_unique<Harness>(m_program.path());
        h->dialogs.openAnswers = {{u"/v/a.mp4"_qs, u"/v/b.mp4"_qs}};
        h->window->addFileByDialog();
        QCOMPARE(h->dialogs.openCalls.constLast().startFolder, dir.path());

        h = std::make_unique<Harness>(m_program.path());
        h->window->addFolder();
        QCOMPARE(h->dialogs.folderStarts, QStringList{u"/v/"_qs});
    }

    // A folders.ini that cannot be used is the same as none: the dialogs open
    // where they do on a first start, and picking still works.
    void unusableFoldersFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("blank") << QByteArray("\"\"\r\n");
        QTest::newRow("folder in its place") << QByteArray();
    }
    void unusableFoldersFile()
    {
        QFETCH(QByteArray, bytes);
        h.reset();
        if (bytes.isEmpty()) {
            QVERIFY(QDir().mkpath(foldersFile()));
        } else {
            QVERIFY(QDir().mkpath(QFileInfo(foldersFile()).path()));
            QFile file(foldersFile());
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        }
        h = std::make_unique<Harness>(m_program.path());
        QVERIFY(h->window->lastFileFolder().isEmpty());
        h->dialogs.openAnswers = {{u"/v/a.mp4"_qs}, {}};
        h->window->addFileByDialog();
        QCOMPARE(h->dialogs.openCalls[0].startFolder, QDir::currentPath());
        QCOMPARE(h->window->jobList().paths(), QStringList{u"/v/a.mp4"_qs});
        // Kept for this window even where the file cannot take it.
        h->window->addFileByDialog();
        QCOMPARE(h->dialogs.openCalls[1].startFolder, u"/v/"_qs);
    }

    void addFolder_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QStringList>("expected");
        const QStringList tree{u"z.avi"_qs, u"a.mp4"_qs, u"s/t/c.mov"_qs, u"s/b.avi"_qs,
                               u"b/only.mpg"_qs};
        QTest::newRow("tree in name order")
            << tree << false
            << QStringList{u"a.mp4"_qs, u"z.avi"_qs, u"b/only.mpg"_qs, u"s/b.avi"_qs,
                           u"s/t/c.mov"_qs};
        QTest::newRow("any file type") << QStringList{u"photo.jpg"_qs, u"notes.txt"_qs} << false
                                       << QStringList{u"notes.txt"_qs, u"photo.jpg"_qs};
        QTest::newRow("empty folder") << QStringList{} << false << QStringList{};
        QTest::newRow("cancel") << tree << true << QStringList{};
    }
    void addFolder()
    {
        QFETCH(QStringList, files);
        QFETCH(bool, cancel);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        for (const QString &f : files)
            writeFile(dir.filePath(f));
        h->dialogs.folderAnswers = {cancel ? std::nullopt : std::optional<QString>(dir.path())};

        QSignalSpy done(h->window.get(), &MainWindow::folderSearchDone);
        h->window->toolbarButtonClicked(1);
        QCOMPARE(h->dialogs.folderTitles, QStringList{u"选择一个文件夹:"_qs});
        auto *hint = h->control<QLabel>(u"emptyListHintText"_qs);
        if (!cancel) {
            // The result comes back through the event loop, so the hint shows first.
            QCOMPARE(hint->text(), u"搜索中..."_qs);
            QVERIFY(h->hintShown());
            // A second search is refused while this one runs, and allowed once it ends.
            h->window->addFolder();
            QCOMPARE(h->dialogs.folderTitles.size(), 1);
            QVERIFY(done.wait(5000));
            QVERIFY(!h->window->isSearching());
        }
        QStringList expectedPaths;
        for (const QString &f : expected)
            expectedPaths << dir.filePath(f);
        QCOMPARE(h->window->jobList().paths(), expectedPaths);
        QCOMPARE(h->hintShown(), expected.isEmpty());
        if (expected.isEmpty())
            QCOMPARE(hint->text(), u"拖拽您的视频到这里"_qs);
        // Emptied later, the list no longer says it is searching.
        h->window->removeAllJobs();
        QCOMPARE(hint->text(), u"拖拽您的视频到这里"_qs);
    }

    void outputFolder_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::newRow("button") << u"browseButton"_qs;
        QTest::newRow("click into the box") << u"outputFolderEdit"_qs;
    }
    void outputFolder()
    {
        QFETCH(QString, trigger);
        h->click(u"startOverlay"_qs);
        auto *path = h->control<QLineEdit>(u"outputFolderEdit"_qs);
        const ConversionSettings &settings = h->window->conversionSettings();
        const QString defaultFolder = ConversionSettings::defaultOutputFolder();
        QCOMPARE(path->text(), defaultFolder);

        h->dialogs.folderAnswers = {u"/srv/out"_qs, std::nullopt};
        h->click(trigger);
        QCOMPARE(h->dialogs.folderTitles, QStringList{u"选择一个文件夹:"_qs});
        QCOMPARE(path->text(), u"/srv/out"_qs);
        QCOMPARE(settings.outputFolder(), u"/srv/out"_qs);
        // The dialog opens at the folder in use, and a cancel keeps it.
        h->click(trigger);
        QCOMPARE(h->dialogs.folderStarts, (QStringList{defaultFolder, u"/srv/out"_qs}));
        QCOMPARE(path->text(), u"/srv/out"_qs);
        QCOMPARE(settings.outputFolder(), u"/srv/out"_qs);

        // Typing into the box sets the folder without a browser.
        path->setFocus();
        path->selectAll();
        QTest::keyClicks(path, u"/tmp/out"_qs);
        QCOMPARE(settings.outputFolder(), u"/tmp/out"_qs);
        QCOMPARE(h->dialogs.folderTitles.size(), 2);
    }

    void removeThenStartRefused()
    {
        activate();
        h->click(u"startOverlay"_qs);
        const JobQueue &jobs = h->window->jobList();
        auto *view = h->control<QTreeView>(u"jobListView"_qs);
        h->window->dropOnJobList(fileDrop({u"/m/1.mp4"_qs, u"/m/2.mp4"_qs}).get());
        view->selectionModel()->clearSelection();
        h->window->removeSelectedJob();
        QCOMPARE(jobs.count(), 2);

        view->setCurrentIndex(view->model()->index(1, 0));
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Delete);
        QCOMPARE(jobs.paths(), QStringList{u"/m/1.mp4"_qs});
        QVERIFY(!h->hintShown());
        view->setCurrentIndex(view->model()->index(0, 0));
        h->window->removeSelectedJob();
        QVERIFY(jobs.isEmpty());
        QVERIFY(h->hintShown());

        // Start on an empty list explains itself and locks nothing.
        h->click(u"startButton"_qs);
        QCOMPARE(h->sink.messages.size(), 1);
        QCOMPARE(h->sink.messages[0].text, u"请添加一个视频文件"_qs);
        QCOMPARE(h->sink.messages[0].icon, MessageSink::Icon::Warning);
        QVERIFY(!h->window->isBatchLocked() && !h->window->batch().isBusy());
        for (const QString &name :
             {u"addVideoButton"_qs, u"jobListView"_qs, u"startButton"_qs, u"outputFolderEdit"_qs})
            QVERIFY2(h->control(name)->isEnabled(), qPrintable(name));
    }

    // The lists, the folder box and "..." share the designed row; each list is
    // wide enough for its longest entry and each caption stands over its box.
    void settingsRowFits()
    {
        const QList<QWidget *> row{h->control(u"formatList"_qs), h->control(u"rotationList"_qs),
                                   h->control(u"outputFolderEdit"_qs),
                                   h->control(u"browseButton"_qs)};
        QCOMPARE(row.first()->x(), 6);
        QCOMPARE(row.last()->geometry().right(), 554);
        for (int i = 1; i < row.size(); ++i)
            QVERIFY2(row[i]->x() >= row[i - 1]->geometry().right() + 5,
                     qPrintable(row[i]->objectName()));
        for (const QString &name : {u"formatList"_qs, u"rotationList"_qs}) {
            auto *box = h->control<QComboBox>(name);
            QStyleOptionComboBox option;
            option.initFrom(box);
            option.editable = false;
            const int room = box->style()
                                 ->subControlRect(QStyle::CC_ComboBox, &option,
                                                  QStyle::SC_ComboBoxEditField, box)
                                 .width();
            for (int i = 0; i < box->count(); ++i)
                QVERIFY2(box->fontMetrics().horizontalAdvance(box->itemText(i)) <= room,
                         qPrintable(box->itemText(i)));
        }
        const QStringList captions{u"formatCaption"_qs, u"rotationCaption"_qs,
                                   u"outputFolderCaption"_qs};
        for (int i = 0; i < captions.size(); ++i) {
            QWidget *caption = h->control(captions[i]);
            QVERIFY(caption->x() >= row[i]->x() && caption->x() < row[i]->x() + 8);
            QVERIFY2(caption->geometry().right() < row[i + 1]->x(), qPrintable(captions[i]));
        }
    }

    void longFolderElidedInTheMiddle()
    {
        h->click(u"startOverlay"_qs);
        auto *box = h->control<PathLineEdit>(u"outputFolderEdit"_qs);
        const QString folder = u"/srv/共享视频/2024年/家庭聚会/春节/输出的旋转视频文件夹"_qs;
        h->window->conversionSettings().setOutputFolder(folder);
        h->control(u"jobListView"_qs)->setFocus();
        const QString shown = box->shownText();
        QVERIFY2(shown.contains(QChar(0x2026)), qPrintable(shown));
        QVERIFY(shown.startsWith(u"/srv/"_qs) && shown.endsWith(u"文件夹"_qs));
        QVERIFY(box->fontMetrics().horizontalAdvance(shown) < box->width());
        QCOMPARE(box->toolTip(), u"Select a Folder to Output\n"_qs + folder);
        QCOMPARE(box->text(), folder);
    }

    // The lists show the selected jobs' settings and change those alone; with
    // nothing selected, the new jobs' and the waiting ones', said in the caption
    // line; 撤销 takes each change back in turn.
    void listsFollowTheSelection()
    {
        h->click(u"startOverlay"_qs);
        JobQueue &jobs = h->window->jobList();
        jobs.addJobs(QStringList{u"/m/1.mp4"_qs, u"/m/2.mp4"_qs, u"/m/3.mp4"_qs, u"/m/4.mp4"_qs});
        QList<quint64> ids;
        for (const Job &job : jobs.jobs())
            ids << job.id;
        jobs.changeSettings({ids[0]},
                            [](JobSettings &s) { s.rotation = PictureTransform::turn(-1); });
        jobs.changeSettings({ids[1]},
                            [](JobSettings &s) { s.rotation = PictureTransform::mirror(); });
        jobs.setFailed(ids[3], FailureReason::NoOutput, {});
        auto *view = h->control<QTreeView>(u"jobListView"_qs);
        auto *rotation = h->control<QComboBox>(u"rotationList"_qs);
        auto *format = h->control<QComboBox>(u"formatList"_qs);
        const auto select = [&](const QList<int> &rows) {
            view->clearSelection();
            for (int row : rows)
                view->selectionModel()->select(view->model()->index(row, 0),
                                               QItemSelectionModel::Select |
                                                   QItemSelectionModel::Rows);
        };
        const auto choose = [](QComboBox *list, int entry) {
            list->setCurrentIndex(entry);
            Q_EMIT list->activated(entry);
        };

        select({1});
        QCOMPARE(rotation->currentText(), u"水平镜像"_qs);
        select({0, 1});
        QCOMPARE(rotation->currentIndex(), -1);
        QCOMPARE(rotation->placeholderText(), u"（多种）"_qs);
        QCOMPARE(format->currentIndex(), 0); // they agree on MP4
        choose(rotation, 5);
        QCOMPARE(jobs.job(0).settings.rotation, PictureTransform::turn(2));
        QCOMPARE(jobs.job(1).settings.rotation, PictureTransform::turn(2));
        QCOMPARE(jobs.job(2).settings.rotation, PictureTransform::turn(1));
        // A row's choice is not the next file's.
        QCOMPARE(h->window->conversionSettings().rotationEntry(), 0);

        select({});
        QCOMPARE(rotation->currentIndex(), 0);
        choose(format, 2);
        QCOMPARE(jobs.job(0).settings.format, Formats::formatOfListedEntry(2));
        QCOMPARE(jobs.job(3).settings.format, int(Formats::Mp4)); // failed: not waiting
        QCOMPARE(h->window->captionText(),
                 u"已更改 3 个等待转换的视频，新加入的视频也将使用此设置（Ctrl+Z 撤销）"_qs);
        jobs.addJob(u"/m/5.mp4"_qs);
        QCOMPARE(jobs.job(4).settings.format, Formats::formatOfListedEntry(2));
        jobs.removeJob(jobs.job(4).id);

        activate();
        QTest::keyClick(h->window.get(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(jobs.job(0).settings.format, int(Formats::Mp4));
        QCOMPARE(format->currentIndex(), 0);
        QTest::keyClick(h->window.get(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(jobs.job(0).settings.rotation, PictureTransform::turn(-1));
        QCOMPARE(jobs.job(1).settings.rotation, PictureTransform::mirror());
        QVERIFY(!h->window->commands().undo->isEnabled());
    }

    // The name and the status share the width: in a wide window a failure's
    // reason shows whole, and the row's tool tip gives it on any column.
    void columnsShareTheWidth()
    {
        h->click(u"startOverlay"_qs);
        JobQueue &jobs = h->window->jobList();
        jobs.addJob(u"/m/a.mp4"_qs);
        jobs.setFailed(jobs.job(0).id, FailureReason::SourceNotAFile, u"not a file"_qs);
        auto *view = h->control<QTreeView>(u"jobListView"_qs);
        const int narrowStatus = view->header()->sectionSize(JobListModel::StatusColumn);
        const int narrowName = view->header()->sectionSize(JobListModel::NameColumn);
        h->window->resize(1400, 700);
        const QModelIndex status = view->model()->index(0, JobListModel::StatusColumn);
        const int wideStatus = view->header()->sectionSize(JobListModel::StatusColumn);
        QVERIFY(wideStatus > 2 * narrowStatus);
        QVERIFY(view->header()->sectionSize(JobListModel::NameColumn) > 2 * narrowName);
        QVERIFY(wideStatus > view->fontMetrics().horizontalAdvance(status.data().toString()) +
                                 view->iconSize().width());
        for (int column = 0; column < JobListModel::ColumnCount; ++column) {
            const QString tip = view->model()->index(0, column).data(Qt::ToolTipRole).toString();
            QVERIFY2(tip.contains(StatusTexts::failure(FailureReason::SourceNotAFile)) &&
                         tip.contains(u"not a file"_qs) && tip.contains(u"/m/a.mp4"_qs),
                     qPrintable(tip));
        }
    }

    // The window's place, size and columns come back at the next start, from a
    // keyed file of their own.
    void layoutRemembered()
    {
        const QString file = m_runtime.filePath(u"window.ini"_qs);
        QFile::remove(file);
        const auto open = [&] {
            WindowServices services;
            services.messages = &h->sink;
            services.dialogs = &h->dialogs;
            services.completion = &h->completion;
            services.programFolder = m_program.path();
            services.windowFile = file;
            services.queueFile = QString();
            services.desktopBus = QDBusConnection(u"torvane-no-bus"_qs);
            auto window = std::make_unique<MainWindow>(services);
            window->show();
            return window;
        };
        auto window = open();
        window->resize(900, 600);
        QHeaderView *header = window->findChild<QTreeView *>(u"jobListView"_qs)->header();
        header->resizeSection(JobListModel::NameColumn, 200);
        header->resizeSection(JobListModel::FormatColumn, 120);
        const double nameShare = 200.0 / (200 + header->sectionSize(JobListModel::StatusColumn));
        QVERIFY(window->close());
        window.reset();
        QFile saved(file);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QVERIFY(saved.readAll().startsWith("version=1\n"));

        window = open();
        QCOMPARE(window->size(), QSize(900, 600));
        header = window->findChild<QTreeView *>(u"jobListView"_qs)->header();
        QCOMPARE(header->sectionSize(JobListModel::FormatColumn), 120);
        const double share = double(header->sectionSize(JobListModel::NameColumn)) /
                             (header->sectionSize(JobListModel::NameColumn) +
                              header->sectionSize(JobListModel::StatusColumn));
        QVERIFY2(std::abs(share - nameShare) < 0.02, qPrintable(QString::number(share)));
    }

    // The list is kept as it changes; the next start offers it back, once.
    void listSurvivesTheProgram_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("继续") << 0;
        QTest::newRow("不用了") << 1;
    }
    void listSurvivesTheProgram()
    {
        QFETCH(int, answer);
        const QString file = m_runtime.filePath(u"queue.json"_qs);
        QFile::remove(file);
        const auto open = [&] {
            WindowServices services;
            services.messages = &h->sink;
            services.programFolder = m_program.path();
            services.windowFile = QString();
            services.queueFile = file;
            services.desktopBus = QDBusConnection(u"torvane-no-bus"_qs);
            auto window = std::make_unique<MainWindow>(services);
            window->show();
            window->offerSavedQueue();
            return window;
        };
        auto window = open();
        QVERIFY(h->sink.messages.isEmpty()); // nothing to offer yet
        window->jobList().addJobs(QStringList{u"/m/a.mp4"_qs, u"/m/b.mp4"_qs});
        window->jobList().setFailed(window->jobList().job(1).id, FailureReason::NoOutput, {});
        QTRY_COMPARE(SavedQueue::read(file).size(), 2);
        window.reset(); // as if killed: no close, nothing saved at the end

        h->sink.answers = {answer};
        window = open();
        QCOMPARE(h->sink.messages.size(), 1);
        QCOMPARE(h->sink.messages[0].text, u"上次还有 2 个视频没有转换，要继续吗？"_qs);
        QCOMPARE(h->sink.questions[0], (QStringList{u"继续"_qs, u"不用了"_qs}));
        const JobQueue &jobs = window->jobList();
        if (answer == 0) {
            QCOMPARE(jobs.paths(), (QStringList{u"/m/a.mp4"_qs, u"/m/b.mp4"_qs}));
            QCOMPARE(jobs.job(1).state, JobState::Failed);
            QVERIFY(window->findChild<QWidget *>(u"startOverlay"_qs)->isHidden());
            // A change just before the end is not lost.
            window->jobList().removeJob(jobs.job(0).id);
            window.reset();
            QCOMPARE(SavedQueue::read(file).size(), 1);
        } else {
            QVERIFY(jobs.isEmpty());
            QVERIFY(SavedQueue::read(file).isEmpty());
        }
    }

    // The right button inside a selection, or the Menu key, keeps it: the
    // menu's choice is for every selected row.
    void jobMenuKeepsTheSelection_data()
    {
        QTest::addColumn<bool>("key");
        QTest::newRow("right button") << false;
        QTest::newRow("Menu key") << true;
    }
    void jobMenuKeepsTheSelection()
    {
        QFETCH(bool, key);
        h->click(u"startOverlay"_qs);
        h->window->jobList().addJobs(QStringList{u"/m/1.mp4"_qs, u"/m/2.mp4"_qs, u"/m/3.mp4"_qs});
        auto *view = h->control<QTreeView>(u"jobListView"_qs);
        view->setFocus();
        view->setCurrentIndex(view->model()->index(0, 0));
        QTest::keyClick(view, Qt::Key_End, Qt::ControlModifier);
        view->selectionModel()->select(view->model()->index(0, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const QRect row = view->visualRect(view->model()->index(2, 0));
        if (key) {
            QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(5, 5),
                                    view->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(view, &event);
        } else {
            QContextMenuEvent event(QContextMenuEvent::Mouse, row.center(),
                                    view->viewport()->mapToGlobal(row.center()));
            QApplication::sendEvent(view->viewport(), &event);
        }
        QMenu *menu = nullptr;
        for (QMenu *m : h->window->findChildren<QMenu *>())
            if (m->isVisible() && m->title().isEmpty() && m->actions().value(0) &&
                m->actions().value(0)->text().startsWith(u"移除"))
                menu = m;
        QVERIFY(menu);
        QCOMPARE(menu->actions().value(0)->text(), u"移除（2 个视频）"_qs);
        QCOMPARE(view->selectionModel()->selectedRows().size(), 2);
        for (QAction *action : menu->actions()) {
            if (action->menu() && action->text() == u"旋转方式")
                action->menu()->actions().value(5)->trigger();
        }
        menu->close();
        const JobQueue &jobs = h->window->jobList();
        QCOMPARE(jobs.job(0).settings.rotation, PictureTransform::turn(2));
        QCOMPARE(jobs.job(1).settings.rotation, PictureTransform::turn(1));
        QCOMPARE(jobs.job(2).settings.rotation, PictureTransform::turn(2));
    }

    // 转换记录: Esc closes it; a failed job has no speed, however long it ran.
    void recordWindowKeys()
    {
        JobRecord failed;
        failed.ended = QDateTime::currentDateTime();
        failed.source = u"/v/a.mp4"_qs;
        failed.outcome = JobRecord::Outcome::Failed;
        failed.failure = FailureReason::EncoderFailed;
        failed.seconds = 4;
        failed.sourceSeconds = 60;
        Q_EMIT h->window->batch().jobRecorded(failed);
        QPointer<QWidget> records = h->window->showRecords();
        QVERIFY(QTest::qWaitForWindowExposed(records));
        auto *list = records->findChild<QTreeWidget *>();
        QCOMPARE(list->topLevelItem(0)->text(6), QString());
        records->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(records));
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Escape);
        QTRY_VERIFY(records.isNull()); // closed, not only hidden
    }

    // A caption quoted in a message never breaks over two lines.
    void quotedCaptionsStayWhole()
    {
        BatchSummary summary;
        summary.failures.append(
            {1, u"/m/a.mp4"_qs, FailureReason::NoOutput, QString(), {}, QString()});
        Q_EMIT h->window->batch().batchEnded(summary);
        QTRY_COMPARE(h->sink.messages.size(), 1);
        const QString text = h->sink.messages[0].text;
        QString plain = text;
        plain.remove(QChar(0x2060));
        QVERIFY(plain.contains(u"选择“重试失败的视频”"_qs));
        const qsizetype start = text.indexOf(u"“"_qs);
        const qsizetype end = text.indexOf(u"”"_qs, start);
        QTextBoundaryFinder breaks(QTextBoundaryFinder::Line, text);
        for (qsizetype i = start + 1; i <= end; ++i) {
            breaks.setPosition(i);
            QVERIFY2(!breaks.isAtBoundary(), qPrintable(u"break at %1"_qs.arg(i - start)));
        }
    }

    void iconsSharpAtEveryScale()
    {
        QList<QAbstractButton *> buttons;
        for (const QString &name : toolbarButtonNames)
            buttons << h->control<QAbstractButton>(name);
        buttons << h->control<QAbstractButton>(u"startButton"_qs);
        for (QAbstractButton *button : buttons) {
            const QList<QSize> sizes = button->icon().availableSizes();
            for (const qreal scale : {1.0, 1.5, 2.0})
                QVERIFY2(sizes.contains(button->iconSize() * scale),
                         qPrintable(button->objectName() + u" at "_qs + QString::number(scale)));
        }
    }

    void tabOrder()
    {
        activate();
        h->click(u"startOverlay"_qs);
        h->control(u"addVideoButton"_qs)->setFocus(Qt::TabFocusReason);
        QStringList visited;
        for (int i = 0; i < 13; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(
            visited,
            (QStringList{u"addFolderButton"_qs, u"removeVideoButton"_qs, u"optionsButton"_qs,
                         u"webSiteButton"_qs, u"exitButton"_qs, u"jobListView"_qs, u"formatList"_qs,
                         u"rotationList"_qs, u"outputFolderEdit"_qs, u"browseButton"_qs,
                         u"startButton"_qs, u"helpMenuButton"_qs, u"addVideoButton"_qs}));
        // Tab from the toolbar into the list takes the start screen away.
        auto h2 = std::make_unique<Harness>(m_program.path());
        h2->window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(h2->window.get()));
        h2->control(u"exitButton"_qs)->setFocus(Qt::TabFocusReason);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(h2->control(u"startOverlay"_qs)->isHidden());
    }

    void shortcuts_data()
    {
        QTest::addColumn<QKeySequence>("keys");
        QTest::addColumn<QString>("effect");
        QTest::addColumn<QString>("shownOn"); // the control whose tool tip names the keys
        QTest::addColumn<QString>("keyText");
        QTest::addColumn<bool>("duringBatch");
        const auto row = [](const char *name, QKeySequence keys, const QString &effect,
                            const QString &shownOn, const QString &keyText, bool duringBatch) {
            QTest::newRow(name) << keys << effect << shownOn << keyText << duringBatch;
        };
        row("Ctrl+O", Qt::CTRL | Qt::Key_O, u"open dialog"_qs, u"addVideoButton"_qs, u"Ctrl+O"_qs,
            false);
        row("Ctrl+Shift+O", Qt::CTRL | Qt::SHIFT | Qt::Key_O, u"folder browser"_qs,
            u"addFolderButton"_qs, u"Ctrl+Shift+O"_qs, false);
        row("Delete", Qt::Key_Delete, u"removed"_qs, u"removeVideoButton"_qs, u"Delete"_qs, false);
        row("Delete in a batch", Qt::Key_Delete, u"removed"_qs, QString(), QString(), true);
        row("Ctrl+Shift+Delete", Qt::CTRL | Qt::SHIFT | Qt::Key_Delete, u"removed all"_qs,
            u"removeVideoButton"_qs, u"Ctrl+Shift+Delete"_qs, false);
        row("Ctrl+,", Qt::CTRL | Qt::Key_Comma, u"options"_qs, u"optionsButton"_qs, u"Ctrl+,"_qs,
            false);
        row("F1", Qt::Key_F1, u"help"_qs, u"helpMenuButton"_qs, u"F1"_qs, false);
        row("F1 in a batch", Qt::Key_F1, u"help"_qs, QString(), QString(), true);
        row("Ctrl+H", Qt::CTRL | Qt::Key_H, u"records"_qs, u"helpMenuButton"_qs, u"Ctrl+H"_qs,
            false);
        row("Ctrl+H in a batch", Qt::CTRL | Qt::Key_H, u"records"_qs, QString(), QString(), true);
        row("Ctrl+Q", Qt::CTRL | Qt::Key_Q, u"exit"_qs, u"exitButton"_qs, u"Ctrl+Q"_qs, false);
        row("Ctrl+Enter", Qt::CTRL | Qt::Key_Return, u"start"_qs, u"startButton"_qs,
            u"Ctrl+Enter"_qs, false);
        row("keypad Ctrl+Enter", Qt::CTRL | Qt::Key_Enter, u"start"_qs, QString(), QString(),
            false);
        // Locked with the toolbar, and the start button must never stop a batch by a key.
        row("Ctrl+O in a batch", Qt::CTRL | Qt::Key_O, QString(), QString(), QString(), true);
        row("Ctrl+Q in a batch", Qt::CTRL | Qt::Key_Q, QString(), QString(), QString(), true);
        row("Ctrl+Enter in a batch", Qt::CTRL | Qt::Key_Return, QString(), QString(), QString(),
            true);
    }
    void shortcuts()
    {
        QFETCH(QKeySequence, keys);
        QFETCH(QString, effect);
        QFETCH(QString, shownOn);
        QFETCH(QString, keyText);
        QFETCH(bool, duringBatch);
        if (!shownOn.isEmpty())
            QVERIFY2(h->control(shownOn)->toolTip().contains(u"("_qs + keyText) ||
                         h->control(shownOn)->toolTip().contains(u" "_qs + keyText + u")"_qs),
                     qPrintable(h->control(shownOn)->toolTip()));
        activate();
        h->window->jobList().addJobs({u"/m/1.mp4"_qs, u"/m/2.mp4"_qs});
        h->click(u"startOverlay"_qs);
        auto *view = h->control<QTreeView>(u"jobListView"_qs);
        view->setCurrentIndex(view->model()->index(0, 0));
        view->setFocus();
        if (duringBatch)
            Q_EMIT h->window->batch().stateChanged(BatchController::State::Running);
        QTemporaryDir out;
        h->window->conversionSettings().setOutputFolder(out.path());
        QSignalSpy unloaded(h->window.get(), &MainWindow::unloaded);
        QSignalSpy started(&h->window->batch(), &BatchController::stateChanged);
        QTest::keySequence(QApplication::focusWidget(), keys);

        QStringList effects;
        const int left = h->window->jobList().count();
        if (left < 2)
            effects << (left == 0 ? u"removed all"_qs : u"removed"_qs);
        effects += QStringList(h->dialogs.openCalls.size(), u"open dialog"_qs);
        effects += QStringList(h->dialogs.folderTitles.size(), u"folder browser"_qs);
        effects += QStringList(h->optionsFiles.size(), u"options"_qs);
        effects += QStringList(h->urls.size(), u"help"_qs);
        effects += QStringList(unloaded.size(), u"exit"_qs);
        if (const auto *records = h->window->findChild<RecordWindow *>();
            records && records->isVisible())
            effects << u"records"_qs;
        if (!started.isEmpty()) {
            effects << u"start"_qs;
            // Without encoders the batch fails its jobs at once.
            QTRY_VERIFY(!h->window->batch().isBusy());
        }
        QCOMPARE(effects, effect.isEmpty() ? QStringList() : QStringList{effect});
        if (effect == u"help"_qs)
            QCOMPARE(h->urls[0].fileName(), u"help.html"_qs);
        if (effect == u"exit"_qs)
            QVERIFY(QFile::remove(settingsFilePath(u"setup.ini"_qs, m_program.path())));
        if (duringBatch)
            Q_EMIT h->window->batch().stateChanged(BatchController::State::Idle);
    }

    // Whatever has the focus shows a ring that cannot be missed.
    void focusFrameVisible()
    {
        activate();
        h->click(u"startOverlay"_qs);
        QStringList names = toolbarButtonNames;
        names << u"jobListView"_qs << u"formatList"_qs << u"rotationList"_qs
              << u"outputFolderEdit"_qs << u"browseButton"_qs << u"startButton"_qs
              << u"helpMenuButton"_qs;
        for (const QString &name : names) {
            QWidget *widget = h->control(name);
            QWidget *elsewhere =
                h->control(name == u"jobListView"_qs ? u"formatList"_qs : u"jobListView"_qs);
            elsewhere->setFocus(Qt::TabFocusReason);
            const QImage before = widget->grab().toImage();
            widget->setFocus(Qt::TabFocusReason);
            QVERIFY(widget->hasFocus());
            const QImage after = widget->grab().toImage();
            int changed = 0;
            for (int y = 0; y < before.height(); ++y) {
                for (int x = 0; x < before.width(); ++x) {
                    const QColor a = before.pixelColor(x, y), b = after.pixelColor(x, y);
                    changed += std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                                   std::abs(a.blue() - b.blue()) >=
                               100;
                }
            }
            const int perimeter = 2 * (before.width() + before.height());
            QVERIFY2(changed >= perimeter * 3 / 2,
                     qPrintable(u"%1: %2 of %3"_qs.arg(name).arg(changed).arg(perimeter)));
        }
    }

    void helpAndAbout()
    {
        auto *button = h->control<QToolButton>(u"helpMenuButton"_qs);
        QVERIFY(button->isVisible() && button->menu());
        const QList<QAction *> entries = button->menu()->actions();
        QCOMPARE(entries.size(), 3);
        QCOMPARE(entries[0]->text(), u"帮助(&H)"_qs);
        QCOMPARE(entries[1]->text(), u"转换记录(&R)"_qs);
        QCOMPARE(entries[0]->shortcut(), QKeySequence(Qt::Key_F1));
        entries[0]->trigger();
        QCOMPARE(h->urls, QList<QUrl>{QUrl::fromLocalFile(m_program.filePath(u"help.html"_qs))});
        entries[2]->trigger();
        QCOMPARE(h->sink.messages.size(), 1);
        QVERIFY(h->sink.messages[0].text.contains(QStringLiteral(TORVANE_VERSION)));
        // The right button on the bare background offers the same menu.
        h->click(u"startOverlay"_qs);
        sendMouse(h->window.get(), QEvent::MouseButtonPress, QPoint(150, 326), Qt::RightButton);
        QVERIFY(button->menu()->isVisible());
        button->menu()->hide();
        // Inside the bottom strip, clear of the links.
        QVERIFY(h->window->rect().contains(button->geometry()));
        for (const QString &link : {u"webLink"_qs, u"feedbackLink"_qs})
            QVERIFY(!button->geometry().intersects(h->control(link)->geometry()));
    }

    // With nothing on the desktop to open them, folders, pages and mail links
    // say so, giving the path or address to copy.
    void openingFailsAloud()
    {
        h->urlsOpen = false;
        h->click(u"startOverlay"_qs);
        h->click(u"webLink"_qs);
        h->click(u"feedbackLink"_qs);
        h->window->jobList().addJob(m_program.filePath(u"a.mp4"_qs));
        QMenu *menu = h->window->jobMenu(0);
        for (QAction *action : menu->actions()) {
            if (action->text() == u"打开所在文件夹")
                action->trigger();
        }
        delete menu;
        QCOMPARE(h->sink.messages.size(), 3);
        QVERIFY(h->sink.messages[0].text.endsWith(m_program.filePath(u"help.html"_qs)));
        QVERIFY(h->sink.messages[1].text.endsWith(m_program.filePath(u"help.html"_qs)));
        QVERIFY(h->sink.messages[2].text.contains(u"\n"_qs + m_program.path()));
        for (const RecordedMessage &message : h->sink.messages)
            QCOMPARE(message.icon, MessageSink::Icon::Warning);
        // The boxes let the user select and copy that text.
        std::unique_ptr<QMessageBox> box(
            createMessageBox(h->window.get(), MessageSink::Icon::Warning, u"t"_qs, u"x"_qs));
        QVERIFY(box->textInteractionFlags() & Qt::TextSelectableByMouse);
    }

    // A batch's end with nothing to open the folder says where it is in the
    // caption line, without a box that would hold the window.
    void unopenedFolderIsNamedInTheCaptionLine()
    {
        DesktopCompletionActions desktop([](const QUrl &) { return false; });
        QVERIFY(!desktop.openFolder(m_program.path()));
        BatchSummary summary;
        summary.converted = 1;
        summary.unopenedFolder = u"/home/user/视频/转换后"_qs;
        Q_EMIT h->window->batch().stateChanged(BatchController::State::Running);
        Q_EMIT h->window->batch().stateChanged(BatchController::State::Idle);
        Q_EMIT h->window->batch().batchEnded(summary);
        QVERIFY(h->sink.messages.isEmpty());
        auto *line = h->control<QLabel>(u"progressCaption"_qs);
        // The path as far as there is room, its start and end kept.
        QVERIFY2(line->text().startsWith(u"Done.  输出文件夹：/home"_qs) &&
                     line->text().endsWith(u"转换后"_qs),
                 qPrintable(line->text()));
        QCOMPARE(line->toolTip(), summary.unopenedFolder);
        QVERIFY(line->geometry().right() < h->control(u"startButton"_qs)->x());
        // The list changes: the word of the last batch goes, with its folder.
        h->window->jobList().addJob(m_program.filePath(u"a.mp4"_qs));
        QCOMPARE(line->text(), u"0%"_qs);
    }

    // Enter chooses a question's default; a question the program dismisses
    // answers like its last button; a long list scrolls inside a box that fits.
    void questionBoxes_data()
    {
        QTest::addColumn<int>("items"); // -1: a plain question
        QTest::addColumn<bool>("dismiss");
        QTest::newRow("Enter in a question") << -1 << false;
        QTest::newRow("a question dismissed") << -1 << true;
        QTest::newRow("Enter in a list of 200") << 200 << false;
    }
    void questionBoxes()
    {
        QFETCH(int, items);
        QFETCH(bool, dismiss);
        MessageBoxSink sink(h->window.get());
        QRect shown;
        QTimer::singleShot(100, this, [&] {
            QWidget *box = QApplication::activeModalWidget();
            QVERIFY(box && sink.isAsking());
            shown = box->frameGeometry();
            if (dismiss)
                sink.dismissQuestion();
            else
                QTest::keyClick(box, Qt::Key_Return);
        });
        const QStringList buttons{u"第一"_qs, u"第二"_qs, u"第三"_qs};
        const int answer =
            items < 0
                ? sink.ask(MessageSink::Icon::Question, u"t"_qs, u"x"_qs, buttons, 1)
                : sink.askWithList(MessageSink::Icon::Warning, u"t"_qs, u"x"_qs,
                                   QStringList(items, u"/v/clip.avi\n    原因"_qs), buttons, 1);
        QCOMPARE(answer, dismiss ? 2 : 1);
        QVERIFY(!sink.isAsking());
        // A screen too small for the window itself (the test screen at scale 2) proves nothing.
        const QRect screen = h->window->screen()->availableGeometry();
        if (screen.height() >= h->window->minimumHeight())
            QVERIFY2(screen.contains(shown),
                     qPrintable(u"%1x%2"_qs.arg(shown.width()).arg(shown.height())));
    }

    // The window can grow from its designed size; boxes that wait for an
    // answer have only the close button.
    void windowButtons()
    {
        const Qt::WindowFlags main = h->window->windowFlags();
        QVERIFY(main & Qt::WindowMinimizeButtonHint && main & Qt::WindowMaximizeButtonHint &&
                main & Qt::WindowCloseButtonHint);
        QCOMPARE(h->window->minimumSize(),
                 QSize(MainWindow::ClientWidth, MainWindow::ClientHeight));
        std::unique_ptr<QMessageBox> box(
            createMessageBox(h->window.get(), MessageSink::Icon::Question, u"t"_qs, u"x"_qs));
        QWidget *output = h->window->showEncoderOutput({});
        OptionValues values;
        OptionsDialog options(values, QString(), nullptr);
        for (QWidget *dialog : std::initializer_list<QWidget *>{box.get(), output, &options}) {
            const Qt::WindowFlags flags = dialog->windowFlags();
            QVERIFY2(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)) &&
                         (flags & Qt::WindowCloseButtonHint) && (flags & Qt::CustomizeWindowHint),
                     dialog->metaObject()->className());
        }
        output->close();
    }

    // Larger, the list takes the room, the preview stands beside it, and what
    // is below keeps its place from the bottom and the right edge.
    void growsFromItsDesignedSize()
    {
        const auto geometry = [this](const char *name) {
            return h->control(QLatin1String(name))->geometry();
        };
        QVERIFY(h->control(u"previewPanel"_qs)->isHidden());
        const QRect list = geometry("jobListView"), start = geometry("startButton"),
                    folder = geometry("outputFolderEdit"), format = geometry("formatList");
        h->window->resize(h->window->minimumSize() + QSize(400, 200));
        QVERIFY(h->control(u"previewPanel"_qs)->isVisible());
        const QRect preview = geometry("previewPanel");
        QCOMPARE(geometry("jobListView").size(),
                 list.size() + QSize(400 - preview.width() -
                                         (preview.left() - geometry("jobListView").right() - 1),
                                     200));
        QCOMPARE(preview.right(), list.right() + 400);
        QCOMPARE(geometry("startButton"), start.translated(400, 200));
        QCOMPARE(geometry("outputFolderEdit"), folder.translated(0, 200).adjusted(0, 0, 400, 0));
        QCOMPARE(geometry("formatList"), format.translated(0, 200));
    }

    void backgroundDrag_data()
    {
        QTest::addColumn<QPoint>("pos");
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<bool>("moves");
        QTest::newRow("between list and settings") << QPoint(150, 326) << Qt::LeftButton << true;
        QTest::newRow("bottom strip") << QPoint(400, 460) << Qt::LeftButton << true;
        QTest::newRow("right button") << QPoint(150, 326) << Qt::RightButton << false;
        QTest::newRow("on a label") << QPoint(12, 75) << Qt::LeftButton << false;
        QTest::newRow("on the list") << QPoint(100, 150) << Qt::LeftButton << false;
    }
    void backgroundDrag()
    {
        QFETCH(QPoint, pos);
        QFETCH(Qt::MouseButton, button);
        QFETCH(bool, moves);
        h->click(u"startOverlay"_qs);
        QSignalSpy drag(h->window.get(), &MainWindow::windowDragRequested);
        QWidget *target = h->window->childAt(pos);
        if (!target)
            target = h->window.get();
        sendMouse(target, QEvent::MouseButtonPress, target->mapFrom(h->window.get(), pos), button);
        QCOMPARE(drag.size(), moves ? 1 : 0);
    }
};

QTEST_MAIN(tst_AppWindow)
#include "tst_app_window.moc"
