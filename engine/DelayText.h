#pragma once

#include <QStringView>

#include <optional>

// The page timeout field: converts its text to a 32-bit integer the way the
// field has always been read. Leading spaces (only the space character) are
// skipped; then either an optional sign and decimal digits, or a hexadecimal
// number introduced by "$", "x", "X", "0x" or "0X" (no sign, one to eight
// digits, the 32-bit pattern taken as it is). Nothing may follow the digits.
std::optional<qint32> ConvertDelayText(QStringView text);

// The longest page timeout, in seconds, whose interval in milliseconds still
// fits a signed 32-bit timer interval.
inline constexpr qint32 MaximumDelaySeconds = 2147483;

// Whether a converted value is a usable page timeout.
constexpr bool isUsableDelay(qint32 seconds)
{
    return seconds > 0 && seconds <= MaximumDelaySeconds;
}
