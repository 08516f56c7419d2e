#include "dialogs/ccommondialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>

Q_DECLARE_METATYPE(FileFilters)

namespace {

// Answers every dialog at once with a prepared result and remembers what it was asked.
class FakeRunner : public DialogRunner
{
public:
    std::optional<QString> fileResult;
    std::optional<QString> folderResult;
    std::optional<QColor> colorResult;
    std::optional<QFont> fontResult;
    bool printerResult = false;

    int calls = 0;
    QWidget *owner = nullptr;
    QString title, startFolder, fileName, defaultSuffix;
    FileFilters filters;
    QColor initialColor;
    QFont initialFont;

    std::optional<QString> openFile(QWidget *o, const QString &t, const QString &start,
                                    const QString &name, const FileFilters &f,
                                    const QString &suffix) override
    {
        ++calls;
        owner = o, title = t, startFolder = start, fileName = name, filters = f;
        defaultSuffix = suffix;
        return fileResult;
    }
    std::optional<QString> saveFile(QWidget *o, const QString &t, const QString &start,
                                    const FileFilters &f) override
    {
        ++calls;
        owner = o, title = t, startFolder = start, filters = f;
        return fileResult;
    }
    std::optional<QString> browseFolder(QWidget *o, const QString &t) override
    {
        ++calls;
        owner = o, title = t;
        return folderResult;
    }
    std::optional<QColor> chooseColor(QWidget *o, const QColor &initial, bool) override
    {
        ++calls;
        owner = o, initialColor = initial;
        return colorResult;
    }
    std::optional<QFont> chooseFont(QWidget *o, const QFont &initial) override
    {
        ++calls;
        owner = o, initialFont = initial;
        return fontResult;
    }
    bool showPrinter(QWidget *o) override
    {
        ++calls;
        owner = o;
        return printerResult;
    }
    bool showPrinterProperties(QWidget *o) override
    {
        ++calls;
        owner = o;
        return printerResult;
    }
};

struct Snapshot
{
    bool underline, italic, bold;
    int16_t size;
    QString fontName;
    int32_t color;
    QString defExt, title, path, fileTitle, filter, fileName;

    explicit Snapshot(const CCommonDialogs &d)
        : underline(d.FontUnderline()), italic(d.FontItalic()), bold(d.FontBold()),
          size(d.FontSize()), fontName(d.FontName()), color(d.Color()), defExt(d.DefExt()),
          title(d.Title()), path(d.Path()), fileTitle(d.FileTitle()), filter(d.Filter()),
          fileName(d.Name())
    {}
    bool operator==(const Snapshot &) const = default;
};

void fillAll(CCommonDialogs &d)
{
    d.setFontUnderline(true);
    d.setFontItalic(true);
    d.setFontBold(true);
    d.setFontSize(14);
    d.setFontName(u"Serif"_qs);
    d.setColor(0x00336699);
    d.setDefExt(u"mp4"_qs);
    d.setTitle(u"打开文件"_qs);
    d.setPath(QDir::tempPath());
    d.setFileTitle(u"a.mp4"_qs);
    d.setFilter(u"全部格式(*.*)|*.*"_qs);
    d.setName(QDir::tempPath() + u"/a.mp4"_qs);
}

using Show = bool (*)(CCommonDialogs &);

} // namespace

Q_DECLARE_METATYPE(Show)

class TestCommonDialogs : public QObject
{
    Q_OBJECT

    QWidget owner;

private Q_SLOTS:
    void filterForOpen_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<FileFilters>("expected");
        QTest::newRow("all formats")
            << u"全部格式(*.*)|*.*"_qs << FileFilters{{u"全部格式(*.*)"_qs, u"*.*"_qs}};
        QTest::newRow("empty") << QString() << FileFilters{};
        QTest::newRow("spaces") << u"   "_qs << FileFilters{};
        QTest::newRow("two pairs")
            << u"视频|*.mp4;*.avi|全部|*.*"_qs
            << FileFilters{{u"视频"_qs, u"*.mp4;*.avi"_qs}, {u"全部"_qs, u"*.*"_qs}};
        QTest::newRow("trailing bar")
            << u"视频|*.mp4|"_qs << FileFilters{{u"视频"_qs, u"*.mp4"_qs}};
        QTest::newRow("description without pattern")
            << u"视频|*.mp4|全部"_qs << FileFilters{{u"视频"_qs, u"*.mp4"_qs}};
        QTest::newRow("empty piece ends the list")
            << u"视频|*.mp4||全部|*.*"_qs << FileFilters{{u"视频"_qs, u"*.mp4"_qs}};
    }
    void filterForOpen()
    {
        QFETCH(QString, filter);
        QFETCH(FileFilters, expected);
        QCOMPARE(filterListForOpen(filter), expected);
    }

    void filterForSave_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<FileFilters>("expected");
        const FileFilters everything{{u"*.*"_qs, u"*.*"_qs}};
        QTest::newRow("empty") << QString() << everything;
        QTest::newRow("spaces") << u"  "_qs << everything;
        QTest::newRow("two pairs")
            << u"MP4|*.mp4|AVI|*.avi"_qs
            << FileFilters{{u"MP4"_qs, u"*.mp4"_qs}, {u"AVI"_qs, u"*.avi"_qs}};
        QTest::newRow("trailing bar") << u"MP4|*.mp4|"_qs << FileFilters{{u"MP4"_qs, u"*.mp4"_qs}};
    }
    void filterForSave()
    {
        QFETCH(QString, filter);
        QFETCH(FileFilters, expected);
        QCOMPARE(filterListForSave(filter), expected);
    }

    void nameFilters_data()
    {
        QTest::addColumn<FileFilters>("filters");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("all files match names without a dot")
            << FileFilters{{u"全部格式(*.*)"_qs, u"*.*"_qs}}
            << QStringList{u"全部格式(*.*) (*)"_qs};
        QTest::newRow("upper-case twins") << FileFilters{{u"视频"_qs, u"*.mp4; *.avi"_qs}}
                                          << QStringList{u"视频 (*.mp4 *.MP4 *.avi *.AVI)"_qs};
    }
    void nameFilters()
    {
        QFETCH(FileFilters, filters);
        QFETCH(QStringList, expected);
        QCOMPARE(qtNameFilters(filters), expected);
    }

    void colorRef_data()
    {
        QTest::addColumn<int>("colorRef");
        QTest::addColumn<QColor>("color");
        QTest::newRow("red") << 0x0000FF << QColor(255, 0, 0);
        QTest::newRow("green") << 0x00FF00 << QColor(0, 255, 0);
        QTest::newRow("blue") << 0xFF0000 << QColor(0, 0, 255);
        QTest::newRow("mixed") << 0x336699 << QColor(0x99, 0x66, 0x33);
    }
    void colorRef()
    {
        QFETCH(int, colorRef);
        QFETCH(QColor, color);
        QCOMPARE(colorFromColorRef(colorRef), color);
        QCOMPARE(colorRefFromColor(color), colorRef);
    }

    void openSetsFileNameTitleAndPath()
    {
        FakeRunner fake;
        CCommonDialogs dialogs;
        dialogs.Init(&owner);
        dialogs.setRunner(&fake);
        dialogs.setTitle(u"打开文件"_qs);
        dialogs.setFilter(u"全部格式(*.*)|*.*"_qs);
        dialogs.setDefExt(u"mp4"_qs);

        fake.fileResult = u"/a/b.mp4"_qs;
        QVERIFY(dialogs.ShowOpen());
        QCOMPARE(fake.owner, &owner);
        QCOMPARE(fake.title, u"打开文件"_qs);
        QCOMPARE(fake.startFolder, QDir::currentPath());
        QCOMPARE(fake.fileName, QString());
        QCOMPARE(fake.defaultSuffix, u"mp4"_qs);
        QCOMPARE(fake.filters, FileFilters({{u"全部格式(*.*)"_qs, u"*.*"_qs}}));
        QCOMPARE(dialogs.Name(), u"/a/b.mp4"_qs);
        QCOMPARE(dialogs.FileTitle(), u"b.mp4"_qs);
        QCOMPARE(dialogs.Path(), u"/a"_qs);

        // The second dialog starts in the chosen folder with the last name filled in.
        fake.fileResult = u"/a/c.avi"_qs;
        QVERIFY(dialogs.ShowOpen());
        QCOMPARE(fake.startFolder, u"/a"_qs);
        QCOMPARE(fake.fileName, u"/a/b.mp4"_qs);
        QCOMPARE(dialogs.Name(), u"/a/c.avi"_qs);
    }

    void openFileInRootKeepsRootFolder()
    {
        FakeRunner fake;
        fake.fileResult = u"/b.mp4"_qs;
        CCommonDialogs dialogs;
        dialogs.Init(&owner);
        dialogs.setRunner(&fake);
        QVERIFY(dialogs.ShowOpen());
        QCOMPARE(dialogs.Path(), u"/"_qs);
    }

    void openBlankFilterOffersNoFilter()
    {
        FakeRunner fake;
        fake.fileResult = u"/a/b.mp4"_qs;
        CCommonDialogs dialogs;
        dialogs.Init(&owner);
        dialogs.setRunner(&fake);
        QVERIFY(dialogs.ShowOpen());
        QVERIFY(fake.filters.isEmpty());
    }

    void propertiesReadUpToNul()
    {
        CCommonDialogs dialogs;
        const QString withNul = u"/a/b.mp4"_qs + QChar(u'\0') + u"   "_qs;
        dialogs.setName(withNul);
        dialogs.setPath(withNul);
        dialogs.setFileTitle(withNul);
        dialogs.setTitle(withNul);
        QCOMPARE(dialogs.Name(), u"/a/b.mp4"_qs);
        QCOMPARE(dialogs.Path(), u"/a/b.mp4"_qs);
        QCOMPARE(dialogs.FileTitle(), u"/a/b.mp4"_qs);
        QCOMPARE(dialogs.Title(), u"/a/b.mp4"_qs);
    }

    void saveStartFolder_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("useProgramFolder");
        QTest::newRow("missing folder") << u"/no/such/folder/here"_qs << true;
        QTest::newRow("blank") << u"  "_qs << true;
        QTest::newRow("existing folder") << QDir::tempPath() << false;
    }
    void saveStartFolder()
    {
        QFETCH(QString, path);
        QFETCH(bool, useProgramFolder);
        const QString programFolder = QCoreApplication::applicationDirPath();

        FakeRunner fake;
        CCommonDialogs dialogs;
        dialogs.Init(&owner);
        dialogs.setRunner(&fake);
        dialogs.setPath(path);
        dialogs.setTitle(u"不用的标题"_qs);
        const QString chosenFolder = useProgramFolder ? programFolder : QDir::tempPath();
        fake.fileResult = chosenFolder + u"/out.mp4"_qs;
        QVERIFY(dialogs.ShowSave());
        QCOMPARE(fake.startFolder, useProgramFolder ? programFolder : path + u'/');
        QCOMPARE(fake.title, u"Save"_qs);
        QCOMPARE(fake.filters, FileFilters({{u"*.*"_qs, u"*.*"_qs}}));
        QCOMPARE(dialogs.Path(), chosenFolder);
        QCOMPARE(dialogs.FileTitle(), u"out.mp4"_qs);
    }

    void folderClearsFileNames()
    {
        FakeRunner fake;
        fake.folderResult = u"/data/视频"_qs;
        CCommonDialogs dialogs;
        dialogs.Init(&owner);
        dialogs.setRunner(&fake);
        dialogs.setTitle(u"选择一个文件夹:"_qs);
        dialogs.setName(u"/x/y.mp4"_qs);
        dialogs.setFileTitle(u"y.mp4"_qs);
        QVERIFY(dialogs.ShowFolder());
        QCOMPARE(fake.title, u"选择一个文件夹:"_qs);
        QCOMPARE(dialogs.Path(), u"/data/视频"_qs);
        QCOMPARE(dialogs.Name(), QString());
        QCOMPARE(dialogs.FileTitle(), QString());
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
        FakeRunner fake;
        QFont chosen(u"Sans"_qs);
        chosen.setPointSizeF(points);
        chosen.setBold(true);
        chosen.setItalic(true);
        fake.fontResult = chosen;
        CCommonDialogs dialogs;
        dialogs.Init(&owner);
        dialogs.setRunner(&fake);
        dialogs.setFontName(u"Serif"_qs);
        dialogs.setFontSize(9);
        dialogs.setFontUnderline(true);
        dialogs.setColor(0x123456);
        QVERIFY(dialogs.ShowFont());
        QCOMPARE(fake.initialFont.pointSize(), 9);
        QVERIFY(fake.initialFont.underline());
        QCOMPARE(dialogs.FontSize(), int16_t(expected));
        QCOMPARE(dialogs.FontName(), chosen.family());
        QVERIFY(dialogs.FontBold());
        QVERIFY(dialogs.FontItalic());
        // Neither colour nor underline is read back from the font dialog.
        QVERIFY(dialogs.FontUnderline());
        QCOMPARE(dialogs.Color(), 0x123456);
    }

    void colorRoundTrip()
    {
        FakeRunner fake;
        fake.colorResult = QColor(0x10, 0x20, 0x30);
        CCommonDialogs dialogs;
        dialogs.Init(&owner);
        dialogs.setRunner(&fake);
        dialogs.setColor(0x0000FF);
        QVERIFY(dialogs.ShowColor(true));
        QCOMPARE(fake.initialColor, QColor(255, 0, 0));
        QCOMPARE(dialogs.Color(), 0x302010);
    }

    void openFileDialogStartFolder_data()
    {
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("expected");
        const QString programFolder = QCoreApplication::applicationDirPath();
        QTest::newRow("existing, no separator") << QDir::tempPath() << QDir::tempPath() + u'/';
        QTest::newRow("existing, separator") << QDir::tempPath() + u'/' << QDir::tempPath() + u'/';
        QTest::newRow("blank") << QString() << programFolder;
        QTest::newRow("missing") << u"/no/such/folder"_qs << programFolder;
    }
    void openFileDialogStartFolder()
    {
        QFETCH(QString, given);
        QFETCH(QString, expected);
        FakeRunner fake;
        fake.fileResult = u"/v/a.mp4"_qs;
        QString folder = given;
        const QString chosen = OpenFileDialog(&owner, u"打开"_qs, folder, QString(), 0, &fake);
        QCOMPARE(chosen, u"/v/a.mp4"_qs);
        QCOMPARE(folder, expected);
        QCOMPARE(fake.startFolder, expected);
        QCOMPARE(fake.title, u"打开"_qs);
        QCOMPARE(fake.filters, FileFilters({{u"*.*"_qs, u"*.*"_qs}}));
    }

    void openFileDialogCancelReturnsEmpty()
    {
        FakeRunner fake;
        QString folder = QDir::tempPath();
        QCOMPARE(OpenFileDialog(&owner, u"打开"_qs, folder, u"A|*.a"_qs, 0, &fake), QString());
    }

    void cancelChangesNothing_data()
    {
        QTest::addColumn<Show>("show");
        QTest::newRow("open") << Show([](CCommonDialogs &d) { return d.ShowOpen(); });
        QTest::newRow("save") << Show([](CCommonDialogs &d) { return d.ShowSave(); });
        QTest::newRow("folder") << Show([](CCommonDialogs &d) { return d.ShowFolder(); });
        QTest::newRow("color") << Show([](CCommonDialogs &d) { return d.ShowColor(false); });
        QTest::newRow("font") << Show([](CCommonDialogs &d) { return d.ShowFont(); });
        QTest::newRow("printer") << Show([](CCommonDialogs &d) { return d.ShowPrinter(); });
        QTest::newRow("printer properties")
            << Show([](CCommonDialogs &d) { return d.ShowPrinterProperties(); });
    }
    void cancelChangesNothing()
    {
        QFETCH(Show, show);
        FakeRunner fake;
        CCommonDialogs dialogs;
        dialogs.Init(&owner);
        dialogs.setRunner(&fake);
        fillAll(dialogs);
        // A save dialog whose folder is missing must not move Path when cancelled.
        dialogs.setPath(u"/no/such/folder"_qs);
        const Snapshot before(dialogs);
        QVERIFY(!show(dialogs));
        QCOMPARE(fake.calls, 1);
        QVERIFY(Snapshot(dialogs) == before);
    }

    void noOwnerShowsNothing_data() { cancelChangesNothing_data(); }
    void noOwnerShowsNothing()
    {
        QFETCH(Show, show);
        FakeRunner fake;
        fake.fileResult = u"/a/b.mp4"_qs;
        fake.folderResult = u"/a"_qs;
        fake.colorResult = QColor(Qt::red);
        fake.fontResult = QFont();
        fake.printerResult = true;
        CCommonDialogs dialogs;
        dialogs.setRunner(&fake);
        fillAll(dialogs);
        const Snapshot before(dialogs);
        QVERIFY(!show(dialogs));
        QCOMPARE(fake.calls, 0);
        QVERIFY(Snapshot(dialogs) == before);
    }

    void ownerGoneShowsNothing()
    {
        FakeRunner fake;
        fake.fileResult = u"/a/b.mp4"_qs;
        CCommonDialogs dialogs;
        dialogs.setRunner(&fake);
        {
            QWidget temporary;
            dialogs.Init(&temporary);
        }
        QVERIFY(!dialogs.ShowOpen());
        QCOMPARE(fake.calls, 0);
    }
};

QTEST_MAIN(TestCommonDialogs)
#include "tst_commondialogs.moc"
