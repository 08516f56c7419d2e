#pragma once

// Where a run's time goes, for the benchmarks: the moments a run passes, on the
// monotonic clock every process shares, written as one line at its end to the
// file that TORVANE_PHASE_LOG names. Nothing is kept or written without it.
namespace PhaseLog {

enum class Mark {
    Exec,        // the encoder began
    ProbeStart,  // it began to read the source with libav
    ProbeEnd,    // and had the answer
    FfmpegStart, // ffmpeg was started (the first time)
    FfmpegEnd,   // and ended (the last time)
    Checked,     // the output was checked
    Published,   // and given its name
    Count
};

// The first mark of each kind counts, except FfmpegEnd, whose last does.
void mark(Mark mark);
// Appends the line: "phases pid=P exec=NS probe=NS-NS ffmpeg=NS-NS checked=NS published=NS".
void write();

} // namespace PhaseLog
