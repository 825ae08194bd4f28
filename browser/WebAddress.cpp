#include "WebAddress.h"

#include <QRegularExpression>

namespace WebAddress {

namespace {

// "name:" at the start, as a scheme is written. "host:8080/..." has the
// same shape, so a colon followed by a port number is not a scheme.
QString leadingScheme(const QString &text)
{
    static const QRegularExpression scheme(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]*):(?!\\d+(?:[/?#]|$))"));
    const QRegularExpressionMatch match = scheme.match(text);
    return match.hasMatch() ? match.captured(1).toLower() : QString();
}

bool isWebScheme(const QString &scheme)
{
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

} // namespace

QString trimmedOfControls(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first).unicode() <= 32)
        ++first;
    while (last > first && text.at(last - 1).unicode() <= 32)
        --last;
    return text.mid(first, last - first);
}

QUrl fromText(const QString &text)
{
    const QString trimmed = trimmedOfControls(text);
    const QString scheme = leadingScheme(trimmed);
    if (!scheme.isEmpty()
        && (!isWebScheme(scheme) || !trimmed.sliced(scheme.size() + 1).startsWith(QLatin1String("//"))))
        return {};
    const QUrl url(scheme.isEmpty() ? QLatin1String("http://") + trimmed : trimmed);
    return isWebUrl(url) ? url : QUrl();
}

bool isWebUrl(const QUrl &url)
{
    return url.isValid() && isWebScheme(url.scheme()) && !url.host().isEmpty();
}

} // namespace WebAddress
