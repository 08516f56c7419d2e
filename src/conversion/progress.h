#pragma once

#include <QString>

// How a pass shows its progress: the rotation passes (conv) as a whole
// percentage, the format passes (coder, coder2) as a percentage with a
// fraction, each with captions of its own.
enum class ProgressStyle { Rotation, Format };

// What the progress controls show: the bar value and the label.
struct ProgressDisplay
{
    double percent = 0; // 0 to 100; a fraction may stand (33.3)
    QString caption = u"0%"_qs;

    friend bool operator==(const ProgressDisplay &, const ProgressDisplay &) = default;
};

// The successor of the busy indicator: "-", "\", "|", "/" and round again.
QString nextSpinner(const QString &spinner);

// Turns the positions an encoder reports into the progress display. Pure
// state: the window shows `display` after each call.
class ProgressState
{
public:
    QString spinner = u"-"_qs;
    ProgressDisplay display;

    // seconds encoded of total (0: not known); each call moves the indicator.
    // Rotation: "旋转中 - 45%"; nothing is shown while the total is not known.
    // Returns whether the display changed.
    bool rotationPosition(double seconds, double total);
    // "进行最后一步... 100%": the rotation pass has written its output.
    void rotationFinished();
    // Format: "生成中...- 12.3%", and "Done 100%" at the end or when the
    // total is not known.
    void formatPosition(double seconds, double total);
};
