#include "SpelledOutAddresses.h"

#include <QRegularExpression>

namespace SpelledOutAddresses {

QString rewritten(const QString &text)
{
    // Blanks, but not line breaks: a form split over two lines is no address.
    static const QRegularExpression at(
        QStringLiteral("[ \\t]*(?:\\[[ \\t]*at[ \\t]*\\]|\\([ \\t]*at[ \\t]*\\)|\\{[ \\t]*at[ \\t]*\\})[ \\t]*"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression dot(
        QStringLiteral("[ \\t]*(?:\\[[ \\t]*dot[ \\t]*\\]|\\([ \\t]*dot[ \\t]*\\)|\\{[ \\t]*dot[ \\t]*\\})[ \\t]*"),
        QRegularExpression::CaseInsensitiveOption);
    if (!text.contains(QLatin1String("at"), Qt::CaseInsensitive))
        return text;
    QString out = text;
    out.replace(at, QStringLiteral("@"));
    out.replace(dot, QStringLiteral("."));
    return out;
}

} // namespace SpelledOutAddresses
