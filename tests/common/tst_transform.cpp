#include "common/transform.h"

#include <QTest>

#include <array>

namespace {

// A 2x2 picture of four labels, [top left, top right, bottom left, bottom right].
using Corners = std::array<int, 4>;

Corners mirrored(const Corners &c)
{
    return {c[1], c[0], c[3], c[2]};
}

Corners turnedClockwise(const Corners &c)
{
    return {c[2], c[0], c[3], c[1]};
}

// What the transform does to the picture, step by step as its definition says.
Corners apply(const PictureTransform &t, Corners c)
{
    if (t.isMirrored())
        c = mirrored(c);
    for (int i = 0; i < t.clockwiseQuarters(); ++i)
        c = turnedClockwise(c);
    return c;
}

QList<PictureTransform> all()
{
    QList<PictureTransform> result;
    for (const bool mirror : {false, true})
        for (int q = 0; q < 4; ++q)
            result << (mirror ? PictureTransform::mirror() : PictureTransform())
                          .then(PictureTransform::turn(q));
    return result;
}

// What ffmpeg's filters do to the picture.
Corners filtered(const QStringList &filters, Corners c)
{
    for (const QString &f : filters) {
        if (f == u"hflip")
            c = mirrored(c);
        else if (f == u"vflip")
            c = {c[2], c[3], c[0], c[1]};
        else if (f == u"transpose=clock")
            c = turnedClockwise(c);
        else if (f == u"transpose=cclock")
            c = turnedClockwise(turnedClockwise(turnedClockwise(c)));
        else if (f == u"transpose=cclock_flip") // the main diagonal
            c = {c[0], c[2], c[1], c[3]};
        else if (f == u"transpose=clock_flip") // the other diagonal
            c = {c[3], c[1], c[2], c[0]};
    }
    return c;
}

} // namespace

class TestTransform : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void theEightAreDistinct()
    {
        QList<Corners> seen;
        for (const PictureTransform &t : all())
            seen << apply(t, {0, 1, 2, 3});
        for (qsizetype i = 0; i < seen.size(); ++i)
            QCOMPARE(seen.count(seen[i]), 1);
    }

    void compositionIsOneAfterTheOther()
    {
        for (const PictureTransform &a : all()) {
            for (const PictureTransform &b : all())
                QCOMPARE(apply(a.then(b), {0, 1, 2, 3}), apply(b, apply(a, {0, 1, 2, 3})));
            QVERIFY(a.then(a.inverse()).isIdentity());
            QVERIFY(a.inverse().then(a).isIdentity());
        }
    }

    void flipIsTopAndBottom()
    {
        QCOMPARE(apply(PictureTransform::flip(), {0, 1, 2, 3}), (Corners{2, 3, 0, 1}));
        QCOMPARE(PictureTransform::turn(-1), PictureTransform::turn(3));
    }

    // ffmpeg's filters and conv's words say the same as the transform.
    void filtersAndWordsAgree()
    {
        for (const PictureTransform &t : all()) {
            QCOMPARE(filtered(t.ffmpegFilters(), {0, 1, 2, 3}), apply(t, {0, 1, 2, 3}));
            PictureTransform parsed;
            for (const QString &word : t.encoderWords())
                parsed = parsed.then(*PictureTransform::fromEncoderWord(word));
            QCOMPARE(parsed, t);
        }
        QCOMPARE(PictureTransform::fromEncoderWord(u"rotate"),
                 PictureTransform::fromEncoderWord(u"rotate=0"));
        QVERIFY(!PictureTransform::fromEncoderWord(u"rotate=9"));
    }

    // What players show for a display matrix, as ffmpeg shows these stored in an
    // MP4's track header: the picture's corners, mirrors included.
    void displayMatrix_data()
    {
        QTest::addColumn<QList<double>>("abcd"); // the 2x2 part: a b / c d
        QTest::addColumn<QList<int>>("shown");   // the corners shown; empty: none of the eight
        QTest::newRow("none") << QList<double>{1, 0, 0, 1} << QList<int>{0, 1, 2, 3};
        QTest::newRow("a phone held upright")
            << QList<double>{0, 1, -1, 0} << QList<int>{2, 0, 3, 1};
        QTest::newRow("upside down") << QList<double>{-1, 0, 0, -1} << QList<int>{3, 2, 1, 0};
        QTest::newRow("the other way") << QList<double>{0, -1, 1, 0} << QList<int>{1, 3, 0, 2};
        QTest::newRow("mirrored") << QList<double>{-1, 0, 0, 1} << QList<int>{1, 0, 3, 2};
        QTest::newRow("flipped") << QList<double>{1, 0, 0, -1} << QList<int>{2, 3, 0, 1};
        QTest::newRow("main diagonal") << QList<double>{0, 1, 1, 0} << QList<int>{0, 2, 1, 3};
        QTest::newRow("other diagonal") << QList<double>{0, -1, -1, 0} << QList<int>{3, 1, 2, 0};
        QTest::newRow("upright, twice the size")
            << QList<double>{0, 2, -2, 0} << QList<int>{2, 0, 3, 1};
        QTest::newRow("askew") << QList<double>{0.7071, 0.7071, -0.7071, 0.7071} << QList<int>();
        QTest::newRow("squeezed") << QList<double>{2, 0, 0, 1} << QList<int>();
    }

    void displayMatrix()
    {
        QFETCH(QList<double>, abcd);
        QFETCH(QList<int>, shown);
        const auto fixed = [](double v) { return int32_t(std::lround(v * 65536)); };
        const int32_t matrix[9] = {
            fixed(abcd[0]), fixed(abcd[1]), 0, fixed(abcd[2]), fixed(abcd[3]), 0, 0, 0, 1 << 30};
        const auto t = PictureTransform::fromDisplayMatrix(matrix);
        QCOMPARE(t.has_value(), !shown.isEmpty());
        if (t) {
            const Corners c = apply(*t, {0, 1, 2, 3});
            QCOMPARE(QList<int>(c.begin(), c.end()), shown);
        }
    }
};

QTEST_GUILESS_MAIN(TestTransform)
#include "tst_transform.moc"
