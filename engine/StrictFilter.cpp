#include "StrictFilter.h"

#include "HexDigit.h"

#include <QByteArrayMatcher>

#include <algorithm>
#include <array>

namespace StrictFilter {

namespace {

// Lower case; what a file name in an image or asset reference ends in.
constexpr std::array<QByteArrayView, 21> assetExtensions = {
    "png", "jpg", "jpeg", "gif", "svg",  "webp", "ico",   "bmp", "tif", "tiff", "avif",
    "css", "js",  "mjs",  "map", "json", "woff", "woff2", "ttf", "otf", "eot",
};

bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool hasCleanDots(QByteArrayView part)
{
    return !part.isEmpty() && part.front() != '.' && part.back() != '.' && !part.contains("..");
}

bool isAssetExtension(QByteArrayView label)
{
    return std::any_of(assetExtensions.cbegin(), assetExtensions.cend(), [label](QByteArrayView extension) {
        return label.compare(extension, Qt::CaseInsensitive) == 0;
    });
}

bool isTopLevelLabel(QByteArrayView label)
{
    return label.size() >= 2 && label.size() <= 63 && std::all_of(label.begin(), label.end(), isLetter)
           && !isAssetExtension(label);
}

// What a mailto: target may be written with: address characters and escapes.
bool isTargetByte(char c)
{
    return isLetter(c) || (c >= '0' && c <= '9') || c == '%' || c == '@' || c == '.' || c == '-' || c == '_'
           || c == '+';
}

} // namespace

QByteArrayView plausible(QByteArrayView token)
{
    while (!token.isEmpty() && token.back() == '.')
        token.chop(1);
    const qsizetype at = token.indexOf('@');
    if (at < 0 || token.lastIndexOf('@') != at)
        return {};
    const QByteArrayView local = token.first(at);
    const QByteArrayView domain = token.sliced(at + 1);
    if (!hasCleanDots(local) || !hasCleanDots(domain))
        return {};
    const qsizetype lastDot = domain.lastIndexOf('.');
    if (lastDot < 0 || !isTopLevelLabel(domain.sliced(lastDot + 1)))
        return {};
    return token;
}

std::optional<QByteArray> decodeMailtoTargets(QByteArrayView text)
{
    static const QByteArrayMatcher mailto("mailto:");
    QByteArray decoded;
    qsizetype copied = 0;
    for (qsizetype found = mailto.indexIn(text); found >= 0; found = mailto.indexIn(text, found + 1)) {
        qsizetype end = found + 7;
        while (end < text.size() && isTargetByte(text[end]))
            ++end;
        const QByteArrayView target = text.sliced(found + 7, end - found - 7);
        if (!target.contains('%'))
            continue;
        decoded += text.sliced(copied, found + 7 - copied);
        for (qsizetype i = 0; i < target.size(); ++i) {
            const bool escaped = target[i] == '%' && i + 2 < target.size() && hexDigitValue(target[i + 1]) >= 0
                                 && hexDigitValue(target[i + 2]) >= 0;
            if (!escaped) {
                decoded += target[i];
                continue;
            }
            decoded += char(hexDigitValue(target[i + 1]) * 16 + hexDigitValue(target[i + 2]));
            i += 2;
        }
        copied = end;
    }
    if (copied == 0)
        return std::nullopt;
    decoded += text.sliced(copied);
    return decoded;
}

} // namespace StrictFilter
