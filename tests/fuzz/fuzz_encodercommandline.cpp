// The encoder program's command line: the first character picks the name it
// was started under (modulo 3: conv, coder, coder2), every further line is one
// argument.
#include "fuzzinput.h"

#include "commandline.h"

namespace {

void checkCommandLine(const QString &input)
{
    QStringList arguments = fuzzLines(input);
    const QString first = arguments.takeFirst();
    const Tool tool = first.isEmpty() ? Tool::Conv : Tool(first[0].unicode() % 3);

    const ParseResult result = parseCommandLine(tool, arguments);
    if (!result.error.isEmpty())
        return;
    if (result.probe) {
        FUZZ_CHECK(tool == Tool::Conv && !result.probePaths.isEmpty() &&
                   result.probePaths == arguments.mid(1));
        return;
    }
    const EncodeJob &job = result.job;
    FUZZ_CHECK(job.tool == tool);
    FUZZ_CHECK(!job.input.isEmpty() && arguments.contains(job.input));
    FUZZ_CHECK(!job.output.isEmpty());
    // Figures that reach ffmpeg are ones it can take.
    FUZZ_CHECK(job.videoBitrate >= 0 && job.videoBitrate <= 1'000'000'000);
    FUZZ_CHECK(job.audioBitrate >= 0 && job.audioBitrate <= 1'000'000'000);
    FUZZ_CHECK(job.sampleRate >= 0 && job.sampleRate <= 1'000'000);
    FUZZ_CHECK(job.channels >= 0 && job.channels <= 8);
    FUZZ_CHECK(job.frameSize == QSize() ||
               (job.frameSize.width() > 0 && job.frameSize.height() > 0 &&
                job.frameSize.width() <= 16384 && job.frameSize.height() <= 16384));
    if (!job.frameRate.isEmpty()) {
        bool ok = false;
        const double rate = job.frameRate.toDouble(&ok);
        FUZZ_CHECK(ok && rate > 0 && rate <= 1000);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    forEachText(data, size, checkCommandLine);
    return 0;
}
