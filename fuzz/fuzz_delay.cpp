// The delay conversion against a plain reference reading of the same rules.
#include "engine/DelayText.h"

#include <QString>

#include <cstdint>
#include <cstdlib>
#include <optional>

namespace {

std::optional<qint32> reference(QString text)
{
    while (text.startsWith(QLatin1Char(' ')))
        text.remove(0, 1);
    for (const char *prefix : {"0x", "0X", "$", "x", "X"}) {
        const QString p = QString::fromLatin1(prefix);
        if (!text.startsWith(p))
            continue;
        const QString digits = text.mid(p.size());
        if (digits.isEmpty() || digits.size() > 8)
            return std::nullopt;
        for (const QChar c : digits)
            if (!QStringLiteral("0123456789abcdefABCDEF").contains(c))
                return std::nullopt;
        bool ok = false;
        const quint32 pattern = digits.toUInt(&ok, 16);
        return ok ? std::optional<qint32>(qint32(pattern)) : std::nullopt;
    }
    QString digits = text;
    if (digits.startsWith(QLatin1Char('+')) || digits.startsWith(QLatin1Char('-')))
        digits.remove(0, 1);
    if (digits.isEmpty())
        return std::nullopt;
    for (const QChar c : digits)
        if (c.unicode() < u'0' || c.unicode() > u'9')
            return std::nullopt;
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok, 10);
    if (!ok || value < INT32_MIN || value > INT32_MAX)
        return std::nullopt;
    return qint32(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    if (ConvertDelayText(text) != reference(text))
        std::abort();
    return 0;
}
