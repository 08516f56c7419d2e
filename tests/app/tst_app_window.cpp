#include "app/frmmain.h"
#include "fakes.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <QUrlQuery>

#include <memory>

namespace {

QMimeData *fileDrop(const QStringList &paths)
{
    auto *mime = new QMimeData;
    QList<QUrl> urls;
    for (const QString &p : paths)
        urls << QUrl::fromLocalFile(p);
    mime->setUrls(urls);
    return mime;
}

// Drags the data onto the target and drops it there, as the window system would.
void dragAndDrop(QWidget *target, QMimeData *mime)
{
    std::unique_ptr<QMimeData> owner(mime);
    const QPoint at(20, 20);
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QCOMPARE(enter.dropAction(), Qt::CopyAction);
    QDropEvent drop(QPointF(at), Qt::CopyAction | Qt::MoveAction, mime, Qt::LeftButton,
                    Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    QVERIFY(drop.isAccepted());
    QCOMPARE(drop.dropAction(), Qt::CopyAction);
}

void sendMouse(QWidget *target, QEvent::Type type, const QPoint &pos, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(pos), target->mapToGlobal(QPointF(pos)), button, buttons,
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

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void windowSize();
    void controlGeometry_data();
    void controlGeometry();
    void captionsWhole();
    void toolbar_data();
    void toolbar();
    void listColumns();
    void settingLists();

    void dropOnList_data();
    void dropOnList();
    void dropOnOverlay_data();
    void dropOnOverlay();
    void overlayHiddenByClickAndToolbar();

    void addFileRemembersFolder();
    void addFileCancel();
    void addFolder_data();
    void addFolder();
    void addFolderTwiceWhileSearching();

    void browseOutputFolder_data();
    void browseOutputFolder();
    void typedOutputFolder();

    void startEmptyListRefused();
    void removeSelected();
    void removeAll();

    void feedbackHover();
    void backgroundDrag_data();
    void backgroundDrag();
    void links();

private:
    std::unique_ptr<Harness> h;
    std::unique_ptr<QTemporaryDir> m_programFolder;
    QTemporaryDir m_runtime;
};

void tst_AppWindow::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_runtime.isValid());
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_runtime.path()));
}

void tst_AppWindow::init()
{
    m_programFolder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_programFolder->isValid());
    h = std::make_unique<Harness>(m_programFolder->path());
}

void tst_AppWindow::cleanup()
{
    h.reset();
    m_programFolder.reset();
}

void tst_AppWindow::windowSize()
{
    QCOMPARE(h->window->windowTitle(), u"Torvane"_qs);
    QCOMPARE(h->window->size(), QSize(565, 470));
    QCOMPARE(h->window->minimumSize(), h->window->maximumSize());
}

void tst_AppWindow::controlGeometry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect");
    // Labels may grow to fit their caption; everything else keeps its designed box.
    QTest::addColumn<bool>("mayGrow");
    QTest::newRow("picDoor") << u"picDoor"_qs << QRect(2, 68, 563, 378) << false;
    QTest::newRow("Label10") << u"Label10"_qs << QRect(8, 70, 52, 14) << true;
    QTest::newRow("LV") << u"LV"_qs << QRect(4, 88, 555, 234) << false;
    QTest::newRow("picText") << u"picText"_qs << QRect(184, 190, 163, 21) << false;
    QTest::newRow("Label1") << u"Label1"_qs << QRect(8, 332, 60, 14) << true;
    QTest::newRow("Label9") << u"Label9"_qs << QRect(204, 332, 60, 14) << true;
    QTest::newRow("Label8") << u"Label8"_qs << QRect(368, 332, 60, 14) << true;
    QTest::newRow("cmbOF1") << u"cmbOF1"_qs << QRect(6, 351, 189, 22) << false;
    QTest::newRow("cmbRotate") << u"cmbRotate"_qs << QRect(202, 351, 157, 22) << false;
    QTest::newRow("txtPath") << u"txtPath"_qs << QRect(366, 351, 137, 21) << false;
    QTest::newRow("cmdBrowse") << u"cmdBrowse"_qs << QRect(508, 352, 47, 20) << false;
    QTest::newRow("Command3") << u"Command3"_qs << QRect(404, 386, 153, 55) << false;
    QTest::newRow("lblPB") << u"lblPB"_qs << QRect(184, 392, 23, 14) << true;
    QTest::newRow("pb") << u"pb"_qs << QRect(6, 418, 391, 21) << false;
    QTest::newRow("lblWeb") << u"lblWeb"_qs << QRect(8, 450, 247, 13) << true;
}

void tst_AppWindow::controlGeometry()
{
    QFETCH(QString, name);
    QFETCH(QRect, rect);
    QFETCH(bool, mayGrow);
    QWidget *widget = h->control(name);
    QVERIFY(widget);
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
        if (other == widget || other->objectName() == u"picDoor"_qs || other->isHidden())
            continue;
        QVERIFY2(!actual.intersects(other->geometry()),
                 qPrintable(name + u" overlaps "_qs + other->objectName()));
    }
}

void tst_AppWindow::captionsWhole()
{
    for (QLabel *label : h->window->findChildren<QLabel *>()) {
        if (label->text().isEmpty())
            continue;
        const int needed = label->fontMetrics().horizontalAdvance(label->text());
        QVERIFY2(label->contentsRect().width() >= needed, qPrintable(label->objectName()));
        QVERIFY2(label->height() >= label->fontMetrics().height(), qPrintable(label->objectName()));
    }
    for (QToolButton *button : h->window->findChildren<QToolButton *>()) {
        const int needed = button->fontMetrics().horizontalAdvance(button->text());
        QVERIFY2(button->width() - 4 >= needed, qPrintable(button->text()));
    }
    auto *start = h->control<QPushButton>(u"Command3"_qs);
    QVERIFY(start->font().bold());
    QVERIFY(start->sizeHint().width() <= start->width());
    QVERIFY(!start->icon().isNull());
    // The Chinese glyphs exist in the chosen font: no box in place of a character.
    const QFontMetrics metrics(h->window->font());
    for (QChar c : u"文件列表输出格式旋转方式保存路径开始视频意见反馈"_qs)
        QVERIFY2(metrics.inFont(c) || QFontInfo(h->window->font()).family().isEmpty(),
                 qPrintable(QFontInfo(h->window->font()).family()));
}

void tst_AppWindow::toolbar_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("left");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("toolTip");
    QTest::newRow("0") << 0 << 0 << u"添加视频"_qs << u"添加文件"_qs;
    QTest::newRow("1") << 1 << 94 << u"添加文件夹"_qs << u"从文件夹添加多个文件"_qs;
    QTest::newRow("2") << 2 << 188 << u"移除视频"_qs << u"从列表中删除文件"_qs;
    QTest::newRow("4 left of 3") << 4 << 282 << u"选项设置"_qs << u"设置"_qs;
    QTest::newRow("3") << 3 << 376 << u"访问网站"_qs << u"访问网站"_qs;
    QTest::newRow("5") << 5 << 470 << u"退出程序"_qs << u"退出程序"_qs;
}

void tst_AppWindow::toolbar()
{
    QFETCH(int, index);
    QFETCH(int, left);
    QFETCH(QString, caption);
    QFETCH(QString, toolTip);
    auto *button = h->control<QToolButton>(u"CmdToolsBar%1"_qs.arg(index));
    QVERIFY(button);
    QCOMPARE(button->geometry(), QRect(left, 0, 95, 66));
    QCOMPARE(button->text(), caption);
    QCOMPARE(button->toolTip(), toolTip);
    QCOMPARE(button->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    QVERIFY(!button->icon().isNull());
}

void tst_AppWindow::listColumns()
{
    auto *view = h->control<QTreeView>(u"LV"_qs);
    QCOMPARE(view->header()->sectionSize(0), 467);
    QCOMPARE(view->header()->sectionSize(1), 83);
    QCOMPARE(view->model()->headerData(0, Qt::Horizontal).toString(), u"视频文件名"_qs);
    QCOMPARE(view->model()->headerData(1, Qt::Horizontal).toString(), u"视频格式"_qs);
    QCOMPARE(view->selectionMode(), QAbstractItemView::SingleSelection);
    QCOMPARE(view->selectionBehavior(), QAbstractItemView::SelectRows);
    auto *hint = h->control<QLabel>(u"lblText"_qs);
    QCOMPARE(hint->text(), u"拖拽您的视频文件到这里"_qs);
    QVERIFY(!h->control(u"picText"_qs)->isHidden());
    QVERIFY(!h->control(u"picDoor"_qs)->isHidden());
}

void tst_AppWindow::settingLists()
{
    auto *format = h->control<QComboBox>(u"cmbOF1"_qs);
    auto *rotate = h->control<QComboBox>(u"cmbRotate"_qs);
    QCOMPARE(format->count(), 5);
    QCOMPARE(rotate->count(), 5);
    QCOMPARE(format->currentIndex(), 0);
    QCOMPARE(rotate->currentIndex(), 0);
    ConversionSettings &settings = h->window->conversionSettings();
    QCOMPARE(settings.format(), int(ConversionSettings::Mp4));

    // A user's choice runs the selection handlers.
    format->setFocus();
    QTest::keyClick(format, Qt::Key_Down);
    QCOMPARE(format->currentIndex(), 1);
    QCOMPARE(settings.format(), int(ConversionSettings::Mpg));
    QTest::keyClick(rotate, Qt::Key_End);
    QCOMPARE(settings.rotationEntry(), 4);
    QCOMPARE(settings.strRotate(), QString());
    // And a choice made in code shows in the lists.
    settings.cmbOF1_Click(4);
    QCOMPARE(format->currentIndex(), 4);
}

void tst_AppWindow::dropOnList_data()
{
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<QStringList>("labels");
    QTest::newRow("three files in order")
        << QStringList{u"/m/a.mp4"_qs, u"/m/b.avi"_qs, u"/m/c.mov"_qs}
        << QStringList{u"MP4"_qs, u"AVI"_qs, u"MOV"_qs};
    QTest::newRow("a folder is one job") << QStringList{u"/m/Holiday"_qs} << QStringList{u"DAY"_qs};
    QTest::newRow("same file twice")
        << QStringList{u"/m/a.mp4"_qs, u"/m/a.mp4"_qs} << QStringList{u"MP4"_qs, u"MP4"_qs};
    QTest::newRow("spaces and Chinese")
        << QStringList{u"/m/我的 视频,1.mkv"_qs} << QStringList{u"MKV"_qs};
}

void tst_AppWindow::dropOnList()
{
    QFETCH(QStringList, paths);
    QFETCH(QStringList, labels);
    QTest::mouseClick(h->control(u"picDoor"_qs), Qt::LeftButton);
    auto *view = h->control<QTreeView>(u"LV"_qs);
    dragAndDrop(view->viewport(), fileDrop(paths));
    const JobListModel &jobs = h->window->jobList();
    QCOMPARE(jobs.lstFile(), paths);
    for (int row = 0; row < labels.size(); ++row) {
        QCOMPARE(view->model()->index(row, 0).data().toString(), paths[row]);
        QCOMPARE(view->model()->index(row, 1).data().toString(), labels[row]);
    }
    QVERIFY(h->control(u"picText"_qs)->isHidden());

    // Dropped text and web links add nothing and leave the list as it was.
    auto *text = new QMimeData;
    text->setText(u"/m/not-a-file.mp4"_qs);
    dragAndDrop(view->viewport(), text);
    auto *web = new QMimeData;
    web->setUrls({QUrl(u"https://example.org/v.mp4"_qs)});
    dragAndDrop(view->viewport(), web);
    QCOMPARE(jobs.lstFile(), paths);
}

void tst_AppWindow::dropOnOverlay_data()
{
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<bool>("asText");
    QTest::newRow("files") << QStringList{u"/m/z.avi"_qs, u"/m/a.mp4"_qs} << false;
    QTest::newRow("text") << QStringList{} << true;
}

void tst_AppWindow::dropOnOverlay()
{
    QFETCH(QStringList, paths);
    QFETCH(bool, asText);
    QMimeData *mime = fileDrop(paths);
    if (asText) {
        mime->clear();
        mime->setText(u"hello"_qs);
    }
    dragAndDrop(h->control(u"picDoor"_qs), mime);
    QVERIFY(h->control(u"picDoor"_qs)->isHidden());
    QVERIFY(h->control(u"picText"_qs)->isHidden());
    QCOMPARE(h->window->jobList().lstFile(), paths);
}

void tst_AppWindow::overlayHiddenByClickAndToolbar()
{
    QWidget *door = h->control(u"picDoor"_qs);
    QTest::mouseClick(door, Qt::LeftButton);
    QVERIFY(door->isHidden());

    Harness other(m_programFolder->path());
    QWidget *otherDoor = other.control(u"picDoor"_qs);
    // Web button: no dialog, so the click is all there is.
    QTest::mouseClick(other.control(u"CmdToolsBar3"_qs), Qt::LeftButton);
    QVERIFY(otherDoor->isHidden());
    QCOMPARE(other.urls, QList<QUrl>{QUrl(frmMain::webAddress())});
}

void tst_AppWindow::addFileRemembersFolder()
{
    FakeDialogRunner &dialogs = h->dialogs;
    dialogs.openAnswers = {u"/v/a.mp4"_qs, u"/v/notes.txt"_qs, std::nullopt};
    QTest::mouseClick(h->control(u"CmdToolsBar0"_qs), Qt::LeftButton);
    QCOMPARE(dialogs.openCalls.size(), 1);
    QCOMPARE(dialogs.openCalls[0].title, u"打开文件"_qs);
    QCOMPARE(dialogs.openCalls[0].filters, (FileFilters{{u"全部格式(*.*)"_qs, u"*.*"_qs}}));
    QCOMPARE(h->window->jobList().lstFile(), QStringList{u"/v/a.mp4"_qs});
    QCOMPARE(h->window->jobList().job(0).typeLabel, u"MP4"_qs);
    QCOMPARE(h->window->strLastFolder(), u"/v/"_qs);
    QVERIFY(h->control(u"picText"_qs)->isHidden());

    h->window->AddFileByDialog();
    QCOMPARE(dialogs.openCalls[1].startFolder, u"/v/"_qs);
    QCOMPARE(dialogs.openCalls[1].fileName, u"/v/a.mp4"_qs);
    QCOMPARE(h->window->jobList().job(1).typeLabel, u"TXT"_qs);

    // A cancel changes nothing, not even the remembered folder.
    h->window->AddFileByDialog();
    QCOMPARE(dialogs.openCalls.size(), 3);
    QCOMPARE(h->window->jobList().count(), 2);
    QCOMPARE(h->window->strLastFolder(), u"/v/"_qs);
}

void tst_AppWindow::addFileCancel()
{
    h->dialogs.openAnswers = {std::nullopt};
    h->window->AddFileByDialog();
    QVERIFY(h->window->jobList().isEmpty());
    QVERIFY(h->window->strLastFolder().isEmpty());
    QVERIFY(!h->control(u"picText"_qs)->isHidden());
    QCOMPARE(h->control<QLabel>(u"lblText"_qs)->text(), u"拖拽您的视频文件到这里"_qs);
}

void tst_AppWindow::addFolder_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QStringList>("expected");
    const QStringList tree{u"z.avi"_qs, u"a.mp4"_qs, u"s/t/c.mov"_qs, u"s/b.avi"_qs,
                           u"b/only.mpg"_qs};
    QTest::newRow("tree in name order")
        << tree << false
        << QStringList{u"a.mp4"_qs, u"z.avi"_qs, u"b/only.mpg"_qs, u"s/b.avi"_qs, u"s/t/c.mov"_qs};
    QTest::newRow("any file type") << QStringList{u"photo.jpg"_qs, u"notes.txt"_qs} << false
                                   << QStringList{u"notes.txt"_qs, u"photo.jpg"_qs};
    QTest::newRow("empty folder") << QStringList{} << false << QStringList{};
    QTest::newRow("cancel") << tree << true << QStringList{};
}

void tst_AppWindow::addFolder()
{
    QFETCH(QStringList, files);
    QFETCH(bool, cancel);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    for (const QString &f : files)
        writeFile(dir.filePath(f));
    h->dialogs.folderAnswers = {cancel ? std::nullopt : std::optional<QString>(dir.path())};

    QSignalSpy done(h->window.get(), &frmMain::folderSearchDone);
    h->window->CmdToolsBar_Click(1);
    QCOMPARE(h->dialogs.folderTitles, QStringList{u"选择一个文件夹:"_qs});
    if (!cancel) {
        // The result comes back through the event loop, so the hint shows first.
        QCOMPARE(h->control<QLabel>(u"lblText"_qs)->text(), u"搜索中..."_qs);
        QVERIFY(!h->control(u"picText"_qs)->isHidden());
        QVERIFY(done.wait(5000));
    }
    QStringList expectedPaths;
    for (const QString &f : expected)
        expectedPaths << dir.filePath(f);
    QCOMPARE(h->window->jobList().lstFile(), expectedPaths);
    QCOMPARE(h->control(u"picText"_qs)->isHidden(), !expected.isEmpty());
    if (expected.isEmpty()) {
        QCOMPARE(h->control<QLabel>(u"lblText"_qs)->text(), u"拖拽您的视频到这里"_qs);
        QVERIFY(!h->control(u"lblText"_qs)->isHidden());
    }
}

void tst_AppWindow::addFolderTwiceWhileSearching()
{
    QTemporaryDir first, second;
    writeFile(first.filePath(u"a.mp4"_qs));
    writeFile(second.filePath(u"b.mp4"_qs));
    h->dialogs.folderAnswers = {first.path(), second.path()};
    QSignalSpy done(h->window.get(), &frmMain::folderSearchDone);
    h->window->AddFolder();
    QVERIFY(h->window->isSearching());
    // Refused while the first search runs: no browser, nothing added twice.
    h->window->AddFolder();
    QCOMPARE(h->dialogs.folderTitles.size(), 1);
    QVERIFY(done.wait(5000));
    QCOMPARE(h->window->jobList().lstFile(), QStringList{first.filePath(u"a.mp4"_qs)});
    // Afterwards a new search is accepted again.
    h->window->AddFolder();
    QVERIFY(done.wait(5000));
    QCOMPARE(h->window->jobList().count(), 2);
}

void tst_AppWindow::browseOutputFolder_data()
{
    QTest::addColumn<bool>("byClickIntoBox");
    QTest::newRow("button") << false;
    QTest::newRow("click into the box") << true;
}

void tst_AppWindow::browseOutputFolder()
{
    QFETCH(bool, byClickIntoBox);
    QTest::mouseClick(h->control(u"picDoor"_qs), Qt::LeftButton);
    auto *path = h->control<QLineEdit>(u"txtPath"_qs);
    QCOMPARE(path->text(), ConversionSettings::defaultOutputFolder());
    QWidget *trigger = byClickIntoBox ? static_cast<QWidget *>(path) : h->control(u"cmdBrowse"_qs);

    h->dialogs.folderAnswers = {u"/srv/out"_qs, std::nullopt};
    QTest::mouseClick(trigger, Qt::LeftButton);
    QCOMPARE(h->dialogs.folderTitles, QStringList{u"选择一个文件夹:"_qs});
    QCOMPARE(path->text(), u"/srv/out"_qs);
    QCOMPARE(h->window->conversionSettings().outputFolder(), u"/srv/out"_qs);

    // A cancel does not keep the previous choice: it returns to the default.
    QTest::mouseClick(trigger, Qt::LeftButton);
    QCOMPARE(path->text(), ConversionSettings::defaultOutputFolder());
    QCOMPARE(h->window->conversionSettings().outputFolder(),
             ConversionSettings::defaultOutputFolder());
}

void tst_AppWindow::typedOutputFolder()
{
    QTest::mouseClick(h->control(u"picDoor"_qs), Qt::LeftButton);
    auto *path = h->control<QLineEdit>(u"txtPath"_qs);
    path->setFocus();
    path->selectAll();
    QTest::keyClicks(path, u"/tmp/out"_qs);
    QKeyEvent chinese(QEvent::KeyPress, 0, Qt::NoModifier, u"输出"_qs);
    QApplication::sendEvent(path, &chinese);
    QCOMPARE(h->window->conversionSettings().outputFolder(), u"/tmp/out输出"_qs);
    QVERIFY(h->dialogs.folderTitles.isEmpty());
}

void tst_AppWindow::startEmptyListRefused()
{
    QTest::mouseClick(h->control(u"picDoor"_qs), Qt::LeftButton);
    QTest::mouseClick(h->control(u"Command3"_qs), Qt::LeftButton);
    QCOMPARE(h->sink.messages.size(), 1);
    QCOMPARE(h->sink.messages[0].text, u"请添加一个视频文件"_qs);
    QCOMPARE(h->sink.messages[0].title, u"添加"_qs);
    QCOMPARE(h->sink.messages[0].icon, MessageSink::Icon::Warning);
    QVERIFY(!h->window->isBatchLocked());
    for (const QString &name : {u"CmdToolsBar0"_qs, u"LV"_qs, u"Command3"_qs, u"txtPath"_qs})
        QVERIFY2(h->control(name)->isEnabled(), qPrintable(name));
    QVERIFY(!h->window->batchDriver().isBusy());
}

void tst_AppWindow::removeSelected()
{
    QTest::mouseClick(h->control(u"picDoor"_qs), Qt::LeftButton);
    auto *view = h->control<QTreeView>(u"LV"_qs);
    dragAndDrop(view->viewport(), fileDrop({u"/m/1.mp4"_qs, u"/m/2.mp4"_qs, u"/m/3.mp4"_qs}));

    // Nothing selected: nothing removed.
    view->selectionModel()->clearSelection();
    h->window->RemoveSelectedJob();
    QCOMPARE(h->window->jobList().count(), 3);

    view->setCurrentIndex(view->model()->index(1, 0));
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Delete);
    QCOMPARE(h->window->jobList().lstFile(), (QStringList{u"/m/1.mp4"_qs, u"/m/3.mp4"_qs}));
    QVERIFY(h->control(u"picText"_qs)->isHidden());

    view->setCurrentIndex(view->model()->index(0, 0));
    h->window->RemoveSelectedJob();
    view->setCurrentIndex(view->model()->index(0, 0));
    h->window->RemoveSelectedJob();
    QVERIFY(h->window->jobList().isEmpty());
    QVERIFY(!h->control(u"picText"_qs)->isHidden());
}

void tst_AppWindow::removeAll()
{
    h->window->picDoor_OLEDragDrop(fileDrop({u"/1"_qs, u"/2"_qs, u"/3"_qs, u"/4"_qs, u"/5"_qs}));
    QVERIFY(h->control(u"picText"_qs)->isHidden());
    h->window->RemoveAllJobs();
    QVERIFY(h->window->jobList().isEmpty());
    QVERIFY(!h->control(u"picText"_qs)->isHidden());
    h->window->Start();
    QCOMPARE(h->sink.messages.size(), 1);
}

void tst_AppWindow::feedbackHover()
{
    auto *feed = h->control<QLabel>(u"lblFeed"_qs);
    QCOMPARE(feed->text(), u"意见反馈"_qs);
    QVERIFY(!feed->font().bold());
    sendMouse(feed, QEvent::MouseMove, QPoint(3, 3), Qt::NoButton, Qt::NoButton);
    QVERIFY(feed->font().bold());
    QVERIFY(feed->width() >= feed->fontMetrics().horizontalAdvance(feed->text()));
    QVERIFY(feed->geometry().right() < frmMain::ClientWidth);

    // Over another control the link stays bold; over the bare background it resets.
    sendMouse(h->window.get(), QEvent::MouseMove, QPoint(10, 455), Qt::NoButton, Qt::NoButton);
    QVERIFY(feed->font().bold());
    sendMouse(h->window.get(), QEvent::MouseMove, QPoint(400, 460), Qt::NoButton, Qt::NoButton);
    QVERIFY(!feed->font().bold());
}

void tst_AppWindow::backgroundDrag_data()
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

void tst_AppWindow::backgroundDrag()
{
    QFETCH(QPoint, pos);
    QFETCH(Qt::MouseButton, button);
    QFETCH(bool, moves);
    QTest::mouseClick(h->control(u"picDoor"_qs), Qt::LeftButton);
    QSignalSpy drag(h->window.get(), &frmMain::windowDragRequested);
    QWidget *target = h->window->childAt(pos);
    if (!target)
        target = h->window.get();
    sendMouse(target, QEvent::MouseButtonPress, target->mapFrom(h->window.get(), pos), button,
              button);
    QCOMPARE(drag.size(), moves ? 1 : 0);
}

void tst_AppWindow::links()
{
    QTest::mouseClick(h->control(u"lblWeb"_qs), Qt::LeftButton);
    QTest::mouseClick(h->control(u"lblFeed"_qs), Qt::LeftButton);
    QCOMPARE(h->urls.size(), 2);
    QCOMPARE(h->urls[0], QUrl(frmMain::webAddress()));
    QVERIFY(h->urls[0].toString().startsWith(u"https://example.org/"_qs));
    QCOMPARE(h->urls[1].scheme(), u"mailto"_qs);
    QVERIFY(h->urls[1].path().endsWith(u"example.org"_qs));
    QCOMPARE(QUrlQuery(h->urls[1]).queryItemValue(u"subject"_qs, QUrl::FullyDecoded),
             u"意见反馈 - Torvane"_qs);
}

QTEST_MAIN(tst_AppWindow)
#include "tst_app_window.moc"
