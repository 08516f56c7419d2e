#include "app/appicon.h"
#include "app/skin.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTest>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

QStringList warnings;

void recordWarnings(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    // Qt reports a broken sheet only as a warning.
    if (type != QtDebugMsg && type != QtInfoMsg && text.contains(u"parse"_qs, Qt::CaseInsensitive))
        warnings.append(text);
}

} // namespace

class TestSkin : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { detachSkin(); }

    void attachAndDetach()
    {
        const QString before = u"QLabel { margin: 1px; }"_qs;
        qApp->setStyleSheet(before);
        attachSkin();
        QVERIFY(qApp->styleSheet() != before);
        // A second attach must not make the skin its own "previous" sheet.
        attachSkin();
        detachSkin();
        QCOMPARE(qApp->styleSheet(), before);
        detachSkin();
        QCOMPARE(qApp->styleSheet(), before);
        qApp->setStyleSheet(QString());
    }

    void sheetParsesForEveryStyledWidget()
    {
        warnings.clear();
        const QtMessageHandler previous = qInstallMessageHandler(recordWarnings);
        attachSkin();
        QWidget window;
        window.setObjectName(u"mainWindow"_qs);
        auto *layout = new QVBoxLayout(&window);
        for (QWidget *w : std::initializer_list<QWidget *>{
                 new QToolButton, new QTreeView, new QPushButton(u"开始旋转视频！"_qs),
                 new QComboBox, new QLineEdit, new QProgressBar, new QLabel(u"输出格式："_qs),
                 new QGroupBox(u"剪辑范围"_qs)})
            layout->addWidget(w);
        window.show();
        window.grab();
        qInstallMessageHandler(previous);
        QVERIFY2(warnings.isEmpty(), qPrintable(warnings.join(u'\n')));
    }

    // The window marks failed jobs with a red text colour; the skin must not hide it.
    void failedRowStaysRed()
    {
        attachSkin();
        QStandardItemModel model;
        auto *failed = new QStandardItem(u"████████████"_qs);
        const QColor red(0xc6, 0x28, 0x28);
        failed->setForeground(red);
        model.appendRow(failed);
        QTreeView view;
        view.setModel(&model);
        view.resize(300, 120);
        view.show();
        const QImage image = view.grab().toImage();
        int reddish = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                reddish += std::abs(c.red() - red.red()) < 40 &&
                           std::abs(c.green() - red.green()) < 40 &&
                           std::abs(c.blue() - red.blue()) < 40;
            }
        }
        QVERIFY(reddish > 50);
    }

    void iconSizes_data()
    {
        QTest::addColumn<int>("size");
        QTest::newRow("16") << 16;
        QTest::newRow("256") << 256;
    }
    void iconSizes()
    {
        // A frame in the middle, nothing in the corners, at the smallest and largest size.
        QFETCH(int, size);
        const QImage image = appIcon().pixmap(size, size).toImage();
        QCOMPARE(image.size(), QSize(size, size));
        QCOMPARE(image.pixelColor(size / 2, size / 2).alpha(), 255);
        QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
        QCOMPARE(image.pixelColor(size - 1, size - 1).alpha(), 0);
    }
};

QTEST_MAIN(TestSkin)
#include "tst_skin.moc"
