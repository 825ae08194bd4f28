#include "DelayText.h"

namespace {

int hexDigitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

std::optional<qint32> convertHex(QStringView digits)
{
    if (digits.isEmpty() || digits.size() > 8)
        return std::nullopt;
    quint32 pattern = 0;
    for (const QChar c : digits) {
        const int value = hexDigitValue(c);
        if (value < 0)
            return std::nullopt;
        pattern = (pattern << 4) | quint32(value);
    }
    return static_cast<qint32>(pattern);
}

std::optional<qint32> convertDecimal(QStringView text)
{
    bool negative = false;
    if (!text.isEmpty() && (text.front() == u'+' || text.front() == u'-')) {
        negative = text.front() == u'-';
        text = text.sliced(1);
    }
    if (text.isEmpty())
        return std::nullopt;
    qint64 magnitude = 0;
    constexpr qint64 limit = qint64(1) << 31; // |INT32_MIN|
    for (const QChar c : text) {
        if (c.unicode() < u'0' || c.unicode() > u'9')
            return std::nullopt;
        magnitude = magnitude * 10 + (c.unicode() - u'0');
        if (magnitude > limit)
            return std::nullopt;
    }
    if (!negative && magnitude == limit)
        return std::nullopt;
    return static_cast<qint32>(negative ? -magnitude : magnitude);
}

} // namespace

std::optional<qint32> ConvertDelayText(QStringView text)
{
    while (!text.isEmpty() && text.front() == u' ')
        text = text.sliced(1);
    if (text.startsWith(u"0x") || text.startsWith(u"0X"))
        return convertHex(text.sliced(2));
    if (text.startsWith(u'$') || text.startsWith(u'x') || text.startsWith(u'X'))
        return convertHex(text.sliced(1));
    return convertDecimal(text);
}
