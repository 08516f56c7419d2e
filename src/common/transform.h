#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <optional>

// One of the eight ways to lay a picture back onto its rectangle: a left-right
// mirror or none, then a turn by whole quarters clockwise. They compose like
// the symmetries of a square. The rotation list, the encoders' command-line
// words, ffmpeg's filters and a video's display matrix all say one of these.
class PictureTransform
{
public:
    constexpr PictureTransform() = default;

    // Clockwise by quarters; any whole number, negative ones turn the other way.
    static constexpr PictureTransform turn(int quarters)
    {
        return {false, ((quarters % 4) + 4) % 4};
    }
    // Left and right trade places.
    static constexpr PictureTransform mirror() { return {true, 0}; }
    // Top and bottom trade places: a mirror, then half a turn.
    static constexpr PictureTransform flip() { return {true, 2}; }

    constexpr int clockwiseQuarters() const { return m_quarters; }
    constexpr bool isMirrored() const { return m_mirrored; }
    constexpr bool isIdentity() const { return !m_mirrored && m_quarters == 0; }
    // A turn by a quarter or a half, with no mirror: what a display matrix
    // can tell every player.
    constexpr bool isTurn() const { return !m_mirrored && m_quarters != 0; }
    // Width and height trade places.
    constexpr bool swapsSides() const { return m_quarters % 2 == 1; }

    // This one first, then next.
    constexpr PictureTransform then(PictureTransform next) const
    {
        // A mirror reverses the sense of the turns before it.
        const int carried = next.m_mirrored ? -m_quarters : m_quarters;
        return {m_mirrored != next.m_mirrored, (((next.m_quarters + carried) % 4) + 4) % 4};
    }
    constexpr PictureTransform inverse() const
    {
        return {m_mirrored, m_mirrored ? m_quarters : (4 - m_quarters) % 4};
    }

    friend constexpr bool operator==(PictureTransform, PictureTransform) = default;

    // ffmpeg's video filters that do it, in order; none for the identity.
    QStringList ffmpegFilters() const;

    // The encoders' words for it after "-vf", as conv takes them: "rotate=1"
    // (clockwise), "rotate=2", "mirror", "flip", "rotate=0" and "rotate=3" (the
    // two diagonals). Half a turn takes two words.
    QStringList encoderWords() const;
    static std::optional<PictureTransform> fromEncoderWord(QStringView word);

    // What a player does with a display matrix as libav stores it (a b u, c d v,
    // x y w; a point p, q of the stored picture is shown at a*p + c*q + x,
    // b*p + d*q + y), mirrors included; none when it turns by other than
    // whole quarters, skews or squeezes.
    static std::optional<PictureTransform> fromDisplayMatrix(const int32_t matrix[9]);

    // The counter-clockwise degrees of a turn (0, 90, 180, 270), as ffmpeg's
    // rotate tag and libav's display matrix take them; mirrors are left out.
    int counterClockwiseDegrees() const { return (4 - m_quarters) % 4 * 90; }

private:
    constexpr PictureTransform(bool mirrored, int quarters)
        : m_mirrored(mirrored), m_quarters(quarters)
    {}

    bool m_mirrored = false;
    int m_quarters = 0;
};
