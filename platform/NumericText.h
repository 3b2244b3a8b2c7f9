#pragma once
// The program's one rule for numbers in text and for whole-number arithmetic.
#include <QString>
#include <cstdint>

namespace tamblor {

// The leading number of a text: leading blanks skipped, then the longest run of characters
// that forms a number (sign, digits, one decimal point, an exponent); anything else reads 0.
double leadingNumber(const QString& text);

// Rounds to a whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double value);
// Rounds half to even into 32 bits; outside the range is failure 6 Overflow.
int32_t toInt32(double value);
// Rounds half to even into a 16-bit field; outside -32768..32767 is failure 6 Overflow.
int16_t toInt16(double value);

} // namespace tamblor
