#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// What the progress controls show: the width of the fill image (in the window
// units of the original layout, full width 5415), the bar value and the label.
struct ProgressDisplay
{
    static constexpr double FullWidth = 5415;

    double fillWidth = 0;
    double percent = 0; // 0 to 100; a fraction may stand (33.3)
    QString caption = u"0%"_qs;

    friend bool operator==(const ProgressDisplay &, const ProgressDisplay &) = default;
};

// The successor of the busy indicator: "-", "\", "|", "/" and round again.
QString nextSpinner(const QString &spinner);

// The text between "(" and ")" of the first percentage in a first-pass piece:
// three characters ("( 5%)") or four ("(100%)").
std::optional<QString> findPercentText(QStringView piece);
// The whole seconds after "Duration: " in a second-pass piece.
std::optional<int> findDuration(QStringView piece);
// The elapsed seconds after "time=": seconds with a fraction, or HH:MM:SS.cc.
std::optional<double> findElapsed(QStringView piece);

// Turns encoder pieces into the progress display. Pure state: the window shows
// `display` after each call that returns true.
class ProgressState
{
public:
    QString spinner = u"-"_qs;
    int durationSeconds = 0;
    ProgressDisplay display;

    // A piece of conv (the first pass): moves the indicator, then reads a percentage.
    bool firstPassPiece(QStringView piece);
    // A piece of coder or coder2 (the second or audio-only pass).
    bool secondPassPiece(QStringView piece);
};
