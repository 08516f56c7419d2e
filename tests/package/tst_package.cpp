// The Debian package as a user gets it: the validators Debian and the desktops
// run, then the unpacked programs themselves. It checks the .deb that
// "scripts/package build" made from this build folder (scripts/test does that
// before the tests) and builds nothing itself.
#include "tools.h"
#include "version.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

class TestPackage : public QObject
{
    Q_OBJECT

    QTemporaryDir scratch;
    QString deb;
    QString root; // the unpacked package

private Q_SLOTS:
    void initTestCase()
    {
        const QStringList found = QDir(QStringLiteral(TORVANE_PACKAGE_DIR))
                                      .entryList({u"torvane_" TORVANE_VERSION "_*.deb"_qs});
        if (found.isEmpty())
            QSKIP("no package in the build folder: scripts/package build makes it");
        deb = QDir(QStringLiteral(TORVANE_PACKAGE_DIR)).filePath(found.first());
        // A package older than the programs would check yesterday's build.
        if (QFileInfo(deb).lastModified() < QFileInfo(QStringLiteral(TORVANE_CLI)).lastModified())
            QSKIP("the package is older than this build: run scripts/package build");
        root = scratch.filePath(u"root"_qs);
        const Run unpacked = run(u"dpkg-deb"_qs, {u"-x"_qs, deb, root});
        QVERIFY2(unpacked.exitCode == 0, qPrintable(unpacked.err));
    }

    void validators_data()
    {
        // Paths other than the package are inside the unpacked root.
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("file");
        // Besides a zero exit status, what must stay empty: "stderr" for the
        // warnings of man, "all" for desktop-file-validate, which exits 0 on
        // warnings but prints nothing for a clean entry.
        QTest::addColumn<QString>("silent");
        const QStringList manual{u"--warnings"_qs, u"-E"_qs, u"UTF-8"_qs, u"-l"_qs};
        QTest::newRow("lintian") << u"lintian"_qs
                                 << QStringList{u"--fail-on"_qs, u"error"_qs,
                                                u"--tag-display-limit"_qs, u"0"_qs}
                                 << QString() << QString();
        QTest::newRow("desktop entry")
            << u"desktop-file-validate"_qs << QStringList{}
            << u"usr/share/applications/io.github.torvane.Torvane.desktop"_qs << u"all"_qs;
        QTest::newRow("appstream")
            << u"appstreamcli"_qs << QStringList{u"validate"_qs, u"--no-net"_qs}
            << u"usr/share/metainfo/io.github.torvane.Torvane.metainfo.xml"_qs << QString();
        for (const QString &page :
             {u"man/man1/torvane.1.gz"_qs, u"man/man1/torvane-cli.1.gz"_qs,
              u"man/zh_CN/man1/torvane.1.gz"_qs, u"man/zh_CN/man1/torvane-cli.1.gz"_qs}) {
            QTest::newRow(qPrintable(page))
                << u"man"_qs << manual << u"usr/share/"_qs + page << u"stderr"_qs;
        }
    }

    void validators()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, args);
        QFETCH(QString, file);
        QFETCH(QString, silent);
        args << (file.isEmpty() ? deb : QDir(root).filePath(file));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // man: render as a UTF-8 terminal of 80 columns would, warnings on.
        env.insert(u"LC_ALL"_qs, u"C.UTF-8"_qs);
        env.insert(u"MANROFFSEQ"_qs, QString());
        env.insert(u"MANWIDTH"_qs, u"80"_qs);
        const Run r = run(program, args, env);
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
        if (!silent.isEmpty())
            QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
        if (silent == u"all")
            QVERIFY2(r.out.isEmpty(), qPrintable(r.out));
    }

    void files_data()
    {
        // What no validator or run below looks for: the files the window opens,
        // the encoders (until torvane-cli runs them from here) and the icons,
        // the PNGs being drawn at build time only when the drawing tool is there.
        QTest::addColumn<QString>("file");
        for (const char *file :
             {"usr/libexec/torvane/conv", "usr/libexec/torvane/coder", "usr/libexec/torvane/coder2",
              "usr/share/torvane/help.html", "usr/share/torvane/sound.wav",
              "usr/share/icons/hicolor/scalable/apps/io.github.torvane.Torvane.svg",
              "usr/share/bash-completion/completions/torvane-cli"})
            QTest::newRow(file) << QString::fromUtf8(file);
        for (int size : {16, 24, 32, 48, 64, 128, 256}) {
            const QString file =
                u"usr/share/icons/hicolor/%1x%1/apps/io.github.torvane.Torvane.png"_qs.arg(size);
            QTest::newRow(qPrintable(file)) << file;
        }
    }

    void files()
    {
        QFETCH(QString, file);
        QVERIFY(QFileInfo::exists(QDir(root).filePath(file)));
    }

    void windowPrintsItsVersion()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_qs, u"offscreen"_qs);
        const Run r = run(QDir(root).filePath(u"usr/bin/torvane"_qs), {u"--version"_qs}, env);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, u"torvane " TORVANE_VERSION "\n"_qs);
    }

    void cliConvertsAClip()
    {
        const QString cli = QDir(root).filePath(u"usr/bin/torvane-cli"_qs);
        const QString clip = scratch.filePath(u"clip.mp4"_qs);
        const QString out = scratch.filePath(u"out"_qs);
        QVERIFY(makeClip(clip));
        // The command builder takes the encoder folder from encoderFolder() once
        // that is wired in; until then an installed copy looks beside itself.
        const Run preview = run(cli, {u"--dry-run"_qs, u"--output"_qs, out, clip});
        if (preview.out.contains(QDir(root).filePath(u"usr/bin/data/"_qs)))
            QSKIP("torvane-cli looks for its encoders in bin/data, not in libexec/torvane");

        const Run r = run(cli, {u"--output"_qs, out, clip});
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
        QString output;
        for (const QString &line : r.out.split(u'\n')) {
            if (line.startsWith(u"OK "))
                output = line.mid(3);
        }
        QVERIFY2(QFileInfo(output).isFile() && output.startsWith(out), qPrintable(r.out));
        const Run probe = run(u"ffprobe"_qs, {u"-v"_qs, u"error"_qs, u"-show_format"_qs, u"-of"_qs,
                                              u"json"_qs, output});
        QCOMPARE(probe.exitCode, 0);
        QVERIFY(QJsonDocument::fromJson(probe.out.toUtf8())[u"format"][u"duration"]
                    .toString()
                    .toDouble() > 0.5);
    }
};

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_package.moc"
