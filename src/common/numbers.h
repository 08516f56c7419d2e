#pragma once

#include <QStringView>

#include <cstdint>

// The leading decimal number of a text: leading spaces are skipped and reading
// stops at the first character that cannot continue the number ("  5%" reads 5,
// "1.5e2x" reads 150); a text without one reads 0.
double leadingNumber(QStringView text);

// Nearest integer, a half going to the even neighbour (2.5 gives 2, 3.5 gives 4).
double roundHalfEven(double value);

// roundHalfEven clamped into the range of the integer type; NaN gives 0.
int16_t toInt16(double value);
int32_t toInt32(double value);
