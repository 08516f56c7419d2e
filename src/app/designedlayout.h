#pragma once

#include <QRect>

class QLabel;

// The window is laid out at the designed positions of the original layout,
// given in twips: 15 twips are one pixel at 96 dots per inch.
constexpr int px(int twips)
{
    return (twips + 7) / 15;
}

inline QRect designed(int left, int top, int width, int height)
{
    return {px(left), px(top), px(width), px(height)};
}

// A label keeps its designed place but grows until its caption fits whole:
// the designed widths were measured for Tahoma, not for the Chinese fonts.
void placeLabel(QLabel *label, const QRect &designedRect);
// Fits the label to its caption again, after the caption changed.
void fitToText(QLabel *label);
