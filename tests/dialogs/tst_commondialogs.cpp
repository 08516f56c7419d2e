#include "dialogs/commondialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QTest>
#include <QWidget>

Q_DECLARE_METATYPE(FileFilters)

namespace {

// Answers every dialog at once with a prepared result and remembers what it was asked.
class FakeRunner : public DialogRunner
{
public:
    std::optional<QString> fileResult, folderResult;
    QStringList filesResult;
    std::optional<QColor> colorResult;
    std::optional<QFont> fontResult;
    bool printerResult = false;

    int calls = 0;
    QWidget *owner = nullptr;
    QString startFolder, fileName;
    FileFilters filters;
    QFont initialFont;

    std::optional<QString> openFile(QWidget *o, const QString &, const QString &start,
                                    const QString &name, const FileFilters &f,
                                    const QString &) override
    {
        asked(o);
        startFolder = start, fileName = name, filters = f;
        return fileResult;
    }
    QStringList openFiles(QWidget *o, const QString &, const QString &start, const QString &name,
                          const FileFilters &f) override
    {
        asked(o);
        startFolder = start, fileName = name, filters = f;
        return filesResult;
    }
    std::optional<QString> saveFile(QWidget *o, const QString &, const QString &start,
                                    const FileFilters &f) override
    {
        asked(o);
        startFolder = start, filters = f;
        return fileResult;
    }
    std::optional<QString> browseFolder(QWidget *o, const QString &, const QString &start) override
    {
        asked(o);
        startFolder = start;
        return folderResult;
    }
    std::optional<QColor> chooseColor(QWidget *o, const QColor &, bool) override
    {
        asked(o);
        return colorResult;
    }
    std::optional<QFont> chooseFont(QWidget *o, const QFont &initial) override
    {
        asked(o);
        initialFont = initial;
        return fontResult;
    }
    bool showPrinter(QWidget *o) override { return asked(o), printerResult; }
    bool showPrinterProperties(QWidget *o) override { return asked(o), printerResult; }

private:
    void asked(QWidget *o) { ++calls, owner = o; }
};

// The wrapper under test, owned by a window and answered by the fake.
struct Fixture
{
    Fixture()
    {
        dialogs.setOwner(&owner);
        dialogs.setRunner(&fake);
    }
    QWidget owner;
    FakeRunner fake;
    CommonDialogs dialogs;
};

QVariantList snapshot(const CommonDialogs &d)
{
    return {d.fontUnderline(), d.fontItalic(),       d.fontBold(), d.fontSize(), d.fontName(),
            d.color(),         d.defaultExtension(), d.title(),    d.path(),     d.fileTitle(),
            d.filter(),        d.fileName(),         d.fileNames()};
}

void fillAll(CommonDialogs &d)
{
    d.setFontUnderline(true);
    d.setFontItalic(true);
    d.setFontBold(true);
    d.setFontSize(14);
    d.setFontName(u"Serif"_qs);
    d.setColor(0x00336699);
    d.setDefaultExtension(u"mp4"_qs);
    d.setTitle(u"打开文件"_qs);
    d.setFileTitle(u"a.mp4"_qs);
    d.setFilter(u"全部格式(*.*)|*.*"_qs);
    d.setFileName(QDir::tempPath() + u"/a.mp4"_qs);
    // A save dialog whose folder is missing must not move Path when it shows nothing.
    d.setPath(u"/no/such/folder"_qs);
}

using Show = bool (*)(CommonDialogs &);

} // namespace

Q_DECLARE_METATYPE(Show)

class TestCommonDialogs : public QObject
{
    Q_OBJECT

    const QString programFolder = QCoreApplication::applicationDirPath();

private Q_SLOTS:
    void filters_data()
    {
        QTest::addColumn<bool>("forSave");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<FileFilters>("expected");
        const FileFilters video{{u"视频"_qs, u"*.mp4"_qs}};
        QTest::newRow("all formats")
            << false << u"全部格式(*.*)|*.*"_qs << FileFilters{{u"全部格式(*.*)"_qs, u"*.*"_qs}};
        QTest::newRow("blank") << false << u"   "_qs << FileFilters{};
        QTest::newRow("two pairs")
            << false << u"视频|*.mp4;*.avi|全部|*.*"_qs
            << FileFilters{{u"视频"_qs, u"*.mp4;*.avi"_qs}, {u"全部"_qs, u"*.*"_qs}};
        QTest::newRow("trailing bar") << false << u"视频|*.mp4|"_qs << video;
        QTest::newRow("description without pattern") << false << u"视频|*.mp4|全部"_qs << video;
        QTest::newRow("empty piece ends the list") << false << u"视频|*.mp4||全部|*.*"_qs << video;
        QTest::newRow("save, empty") << true << QString() << FileFilters{{u"*.*"_qs, u"*.*"_qs}};
        QTest::newRow("save, blank") << true << u"  "_qs << FileFilters{{u"*.*"_qs, u"*.*"_qs}};
        QTest::newRow("save, trailing bar") << true << u"视频|*.mp4|"_qs << video;
    }
    void filters()
    {
        QFETCH(bool, forSave);
        QFETCH(QString, filter);
        QFETCH(FileFilters, expected);
        QCOMPARE(forSave ? filterListForSave(filter) : filterListForOpen(filter), expected);
    }

    void nameFilters()
    {
        // "All files" also matches names without a dot; extensions match in upper case too.
        QCOMPARE(qtNameFilters({{u"全部格式(*.*)"_qs, u"*.*"_qs}}),
                 QStringList{u"全部格式(*.*) (*)"_qs});
        QCOMPARE(qtNameFilters({{u"视频"_qs, u"*.mp4; *.avi"_qs}}),
                 QStringList{u"视频 (*.mp4 *.MP4 *.avi *.AVI)"_qs});
    }

    void showOpen_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("path");
        QTest::newRow("in a folder") << u"/a/b.mp4"_qs << u"/a"_qs;
        QTest::newRow("in the root") << u"/b.mp4"_qs << u"/"_qs;
    }
    void showOpen()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, path);
        Fixture f;
        f.dialogs.setFilter(u"全部格式(*.*)|*.*"_qs);
        f.fake.fileResult = chosen;
        QVERIFY(f.dialogs.showOpen());
        QCOMPARE(f.fake.owner, &f.owner);
        QCOMPARE(f.fake.startFolder, QDir::currentPath());
        QCOMPARE(f.fake.filters.size(), 1);
        QCOMPARE(f.dialogs.fileName(), chosen);
        QCOMPARE(f.dialogs.fileTitle(), u"b.mp4"_qs);
        QCOMPARE(f.dialogs.path(), path);

        // The second dialog starts in the chosen folder with the last name filled in.
        f.fake.fileResult = u"/c/d.avi"_qs;
        QVERIFY(f.dialogs.showOpen());
        QCOMPARE(f.fake.startFolder, path);
        QCOMPARE(f.fake.fileName, chosen);
        QCOMPARE(f.dialogs.fileName(), u"/c/d.avi"_qs);
    }

    void showOpenFiles()
    {
        Fixture f;
        f.fake.filesResult = {u"/a/b.mp4"_qs, QString(), u"/c/d.avi"_qs, u"/a/e.mov"_qs};
        QVERIFY(f.dialogs.showOpenFiles());
        QCOMPARE(f.fake.startFolder, QDir::currentPath());
        // All of them in the dialog's order; the first stands for the choice.
        QCOMPARE(f.dialogs.fileNames(),
                 (QStringList{u"/a/b.mp4"_qs, u"/c/d.avi"_qs, u"/a/e.mov"_qs}));
        QCOMPARE(f.dialogs.fileName(), u"/a/b.mp4"_qs);
        QCOMPARE(f.dialogs.path(), u"/a"_qs);
        f.fake.filesResult = {u"/c/d.avi"_qs};
        QVERIFY(f.dialogs.showOpenFiles());
        QCOMPARE(f.fake.startFolder, u"/a"_qs);
        QCOMPARE(f.fake.fileName, u"/a/b.mp4"_qs);
        QCOMPARE(f.dialogs.fileNames(), QStringList{u"/c/d.avi"_qs});
    }

    void saveStartFolder_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("start");
        QTest::newRow("missing folder") << u"/no/such/folder/here"_qs << programFolder;
        QTest::newRow("blank") << u"  "_qs << programFolder;
        QTest::newRow("existing folder") << QDir::tempPath() << QDir::tempPath() + u'/';
    }
    void saveStartFolder()
    {
        QFETCH(QString, path);
        QFETCH(QString, start);
        Fixture f;
        f.dialogs.setPath(path);
        f.fake.fileResult = QDir::tempPath() + u"/out.mp4"_qs;
        QVERIFY(f.dialogs.showSave());
        QCOMPARE(f.fake.startFolder, start);
        QCOMPARE(f.dialogs.path(), QDir::tempPath());
        QCOMPARE(f.dialogs.fileTitle(), u"out.mp4"_qs);
    }

    void folderOpensAtPath()
    {
        Fixture f;
        f.dialogs.setPath(u"/srv/out"_qs);
        QVERIFY(!f.dialogs.showFolder());
        QCOMPARE(f.fake.startFolder, u"/srv/out"_qs);
        QCOMPARE(f.dialogs.path(), u"/srv/out"_qs);
        f.fake.folderResult = u"/srv/new"_qs;
        QVERIFY(f.dialogs.showFolder());
        QCOMPARE(f.dialogs.path(), u"/srv/new"_qs);
    }

    void fontSize_data()
    {
        QTest::addColumn<qreal>("points");
        QTest::addColumn<int>("expected");
        QTest::newRow("12") << qreal(12) << 12;
        QTest::newRow("10.5") << qreal(10.5) << 10;
        QTest::newRow("9.9") << qreal(9.9) << 9;
    }
    void fontSize()
    {
        QFETCH(qreal, points);
        QFETCH(int, expected);
        Fixture f;
        QFont chosen(u"Sans"_qs);
        chosen.setPointSizeF(points);
        chosen.setBold(true);
        f.fake.fontResult = chosen;
        f.dialogs.setFontSize(9);
        f.dialogs.setFontUnderline(true);
        QVERIFY(f.dialogs.showFont());
        QCOMPARE(f.fake.initialFont.pointSize(), 9);
        QCOMPARE(f.dialogs.fontSize(), int16_t(expected));
        QCOMPARE(f.dialogs.fontName(), chosen.family());
        QVERIFY(f.dialogs.fontBold() && !f.dialogs.fontItalic());
        // Underline is not read back from the font dialog.
        QVERIFY(f.dialogs.fontUnderline());
    }

    void standaloneOpenDialog_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("expected");
        QTest::newRow("existing, no separator") << QDir::tempPath() << QDir::tempPath() + u'/';
        QTest::newRow("existing, separator") << QDir::tempPath() + u'/' << QDir::tempPath() + u'/';
        QTest::newRow("blank") << QString() << programFolder;
        QTest::newRow("missing") << u"/no/such/folder"_qs << programFolder;
    }
    void standaloneOpenDialog()
    {
        QFETCH(QString, given);
        QFETCH(QString, expected);
        Fixture f;
        f.fake.fileResult = u"/v/a.mp4"_qs;
        QString folder = given;
        QCOMPARE(::openFileDialog(&f.owner, u"打开"_qs, folder, QString(), 0, &f.fake),
                 u"/v/a.mp4"_qs);
        QCOMPARE(folder, expected);
        QCOMPARE(f.fake.startFolder, expected);
        QCOMPARE(f.fake.filters, FileFilters({{u"*.*"_qs, u"*.*"_qs}}));
        f.fake.fileResult.reset();
        QCOMPARE(::openFileDialog(&f.owner, u"打开"_qs, folder, u"A|*.a"_qs, 0, &f.fake),
                 QString());
    }

    // A cancel, a missing owner or one already gone: every property stays as it was.
    void unchangedWithoutAnswer_data()
    {
        QTest::addColumn<Show>("show");
        QTest::addColumn<QString>("owner");
        const std::pair<const char *, Show> shows[] = {
            {"open", [](CommonDialogs &d) { return d.showOpen(); }},
            {"open several", [](CommonDialogs &d) { return d.showOpenFiles(); }},
            {"save", [](CommonDialogs &d) { return d.showSave(); }},
            {"folder", [](CommonDialogs &d) { return d.showFolder(); }},
            {"color", [](CommonDialogs &d) { return d.showColor(false); }},
            {"font", [](CommonDialogs &d) { return d.showFont(); }},
            {"printer", [](CommonDialogs &d) { return d.showPrinter(); }},
            {"printer properties", [](CommonDialogs &d) { return d.showPrinterProperties(); }}};
        for (const auto &[name, show] : shows) {
            QTest::addRow("%s, cancelled", name) << show << u"present"_qs;
            QTest::addRow("%s, no owner", name) << show << u"none"_qs;
        }
        QTest::newRow("open, owner gone") << shows[0].second << u"gone"_qs;
        QTest::newRow("open several, owner gone") << shows[1].second << u"gone"_qs;
    }
    void unchangedWithoutAnswer()
    {
        QFETCH(Show, show);
        QFETCH(QString, owner);
        Fixture f;
        if (owner != u"present"_qs) {
            // Prepared answers that must not be asked for.
            f.fake.fileResult = u"/a/b.mp4"_qs;
            f.fake.filesResult = {u"/a/b.mp4"_qs};
            f.fake.folderResult = u"/a"_qs;
            f.fake.colorResult = QColor(Qt::red);
            f.fake.fontResult = QFont();
            f.fake.printerResult = true;
            f.dialogs.setOwner(nullptr);
        }
        if (owner == u"gone"_qs) {
            QWidget temporary;
            f.dialogs.setOwner(&temporary);
        }
        fillAll(f.dialogs);
        const QVariantList before = snapshot(f.dialogs);
        QVERIFY(!show(f.dialogs));
        QCOMPARE(f.fake.calls, owner == u"present"_qs ? 1 : 0);
        QCOMPARE(snapshot(f.dialogs), before);
    }
};

QTEST_MAIN(TestCommonDialogs)
#include "tst_commondialogs.moc"
