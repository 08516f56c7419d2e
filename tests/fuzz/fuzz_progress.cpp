// The report channel through the report reader, and the positions it reads
// through the progress display.
#include "fuzzinput.h"

#include "common/report.h"
#include "conversion/progress.h"

#include <QStringView>

#include <cmath>

namespace {

void checkDisplay(const ProgressState &state)
{
    FUZZ_CHECK(state.display.percent >= 0 && state.display.percent <= 100);
    FUZZ_CHECK(state.display.caption.endsWith(u'%'));
    const QString &spinner = state.spinner;
    FUZZ_CHECK(spinner == u"-" || spinner == u"\\" || spinner == u"|" || spinner == u"/");
}

bool sameReport(const Report::RunReport &a, const Report::RunReport &b)
{
    return a.duration == b.duration && a.position == b.position && a.output == b.output &&
           a.error == b.error && a.losslessAsked == b.losslessAsked &&
           a.losslessCopied == b.losslessCopied && a.losslessRefusal == b.losslessRefusal &&
           a.losslessCodec == b.losslessCodec && a.probed == b.probed && a.detail == b.detail &&
           a.checks == b.checks;
}

void checkBytes(const QByteArray &bytes)
{
    // Report lines are read the same however the channel cuts them.
    Report::Reader whole, cut;
    whole.feed(bytes);
    whole.feed("\n");
    const qsizetype step = 1 + bytes.size() % 7;
    ProgressState rotation, format;
    for (qsizetype at = 0; at < bytes.size(); at += step) {
        if (!cut.feed(QByteArrayView(bytes).sliced(at, std::min(step, bytes.size() - at))))
            continue;
        const Report::RunReport &report = cut.report();
        const double seconds = report.position.value_or(0);
        const double total = report.duration.value_or(0);
        FUZZ_CHECK(std::isfinite(seconds) && seconds >= 0 && std::isfinite(total) && total >= 0);
        rotation.rotationPosition(seconds, total);
        format.formatPosition(seconds, total);
        checkDisplay(rotation);
        checkDisplay(format);
    }
    cut.feed("\n");
    FUZZ_CHECK(sameReport(whole.report(), cut.report()));
    whole.reset();
    FUZZ_CHECK(sameReport(whole.report(), Report::RunReport{}));
}

void checkText(const QString &text)
{
    checkBytes(text.toUtf8());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    checkBytes(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    forEachText(data, size, checkText);
    return 0;
}
