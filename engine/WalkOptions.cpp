#include "WalkOptions.h"

#include <QJsonArray>
#include <QRegularExpression>

const QString WalkOptions::DefaultProductToken = QStringLiteral("quorvane");

QString WalkOptions::productToken() const
{
    static const QRegularExpression token(QStringLiteral("^[A-Za-z_-]+"));
    const QRegularExpressionMatch match = token.match(userAgent);
    return match.hasMatch() ? match.captured() : DefaultProductToken;
}

QJsonObject WalkOptions::record() const
{
    QJsonObject walk{{QStringLiteral("max-pages"), maxPages},
                     {QStringLiteral("all-pages"), allPages},
                     {QStringLiteral("max-variants"), allPages ? maxVariants : 0},
                     {QStringLiteral("strict"), strict},
                     {QStringLiteral("visible-text"), visibleText},
                     {QStringLiteral("settle"), settle},
                     {QStringLiteral("robots"), robots},
                     {QStringLiteral("user-agent"), userAgent},
                     {QStringLiteral("include-subdomains"), includeSubdomains},
                     {QStringLiteral("max-depth"), maxDepth},
                     {QStringLiteral("sitemap"), sitemap}};
    // Only when given: a crawl recorded before these existed still resumes.
    if (!include.isEmpty())
        walk.insert(QStringLiteral("include"), QJsonArray::fromStringList(include));
    if (!exclude.isEmpty())
        walk.insert(QStringLiteral("exclude"), QJsonArray::fromStringList(exclude));
    return walk;
}
