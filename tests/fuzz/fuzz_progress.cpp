// Encoder output pieces through the progress parsers and the report reader.
#include "fuzzinput.h"

#include "common/numbers.h"
#include "conversion/encoderreport.h"
#include "conversion/progress.h"

#include <QStringView>

#include <cmath>

namespace {

void checkDisplay(const ProgressDisplay &display, const QString &spinner)
{
    FUZZ_CHECK(display.percent >= 0 && display.percent <= 100);
    FUZZ_CHECK(display.fillWidth >= 0 && display.fillWidth <= ProgressDisplay::FullWidth);
    FUZZ_CHECK(display.caption.endsWith(u'%'));
    FUZZ_CHECK(spinner == u"-" || spinner == u"\\" || spinner == u"|" || spinner == u"/");
}

void firstPass(ProgressState &state, QStringView piece)
{
    const std::optional<QString> text = findPercentText(piece);
    if (text) {
        FUZZ_CHECK(text->size() == 3 || text->size() == 4);
        FUZZ_CHECK(piece.contains(u'(' + *text + u')'));
    }
    FUZZ_CHECK(state.firstPassPiece(piece) == text.has_value());
    checkDisplay(state.display, state.spinner);
    // The bar shows the number in the text, rounded and held to 0..100.
    if (text && *text != u"100%")
        FUZZ_CHECK(std::abs(state.display.percent - std::clamp(leadingNumber(*text), 0.0, 100.0)) <=
                   0.5);
}

void secondPass(ProgressState &state, QStringView piece)
{
    const int before = state.durationSeconds;
    const std::optional<int> duration = findDuration(piece);
    if (duration)
        FUZZ_CHECK(piece.contains(u"Duration: "));
    const std::optional<double> elapsed = findElapsed(piece);
    if (elapsed)
        FUZZ_CHECK(piece.contains(u"time="));
    FUZZ_CHECK(state.secondPassPiece(piece) == elapsed.has_value());
    // The first duration seen stays.
    FUZZ_CHECK(state.durationSeconds == (before != 0 ? before : duration.value_or(0)));
    checkDisplay(state.display, state.spinner);
}

bool sameReport(const EncoderReport &a, const EncoderReport &b)
{
    return a.durationSeconds == b.durationSeconds && a.output == b.output && a.error == b.error &&
           a.lossless == b.lossless && a.losslessWhy == b.losslessWhy;
}

void checkText(const QString &text)
{
    // Pieces as the runner may hand them over: line by line, and a whole read.
    ProgressState first, second;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != u'\r' && text[i] != u'\n')
            continue;
        const QStringView piece = QStringView(text).sliced(start, i - start);
        firstPass(first, piece);
        secondPass(second, piece);
        start = i + 1;
    }
    firstPass(first, text);
    secondPass(second, text);

    // Report lines are read the same however the output is cut.
    EncoderReportReader whole, cut;
    whole.feed(text);
    whole.feed(u"\n");
    const qsizetype step = 1 + text.size() % 7;
    for (qsizetype at = 0; at < text.size(); at += step)
        cut.feed(QStringView(text).sliced(at, std::min(step, text.size() - at)));
    cut.feed(u"\n");
    FUZZ_CHECK(sameReport(whole.report(), cut.report()));
    if (const auto seconds = whole.report().durationSeconds)
        FUZZ_CHECK(std::isfinite(*seconds) && *seconds >= 0);
    (void)failureFromEncoderError(whole.report().error);
    whole.reset();
    FUZZ_CHECK(sameReport(whole.report(), EncoderReport{}));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    forEachText(data, size, checkText);
    return 0;
}
