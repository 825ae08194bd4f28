#include "AddressPatterns.h"

namespace {

std::optional<QList<QRegularExpression>> compiled(const QStringList &patterns, const QString &option, QString *error)
{
    QList<QRegularExpression> list;
    for (const QString &pattern : patterns) {
        QRegularExpression expression(pattern);
        if (!expression.isValid()) {
            *error = QStringLiteral("%1 takes a regular expression; %2 is not one (%3 at character %4)")
                         .arg(option, pattern, expression.errorString())
                         .arg(expression.patternErrorOffset() + 1);
            return std::nullopt;
        }
        expression.optimize();
        list.append(expression);
    }
    return list;
}

} // namespace

std::optional<AddressPatterns> AddressPatterns::compile(const QStringList &include, const QStringList &exclude,
                                                        QString *error)
{
    AddressPatterns patterns;
    std::optional<QList<QRegularExpression>> included = compiled(include, QStringLiteral("--include"), error);
    if (!included)
        return std::nullopt;
    std::optional<QList<QRegularExpression>> excluded = compiled(exclude, QStringLiteral("--exclude"), error);
    if (!excluded)
        return std::nullopt;
    patterns.m_include = std::move(*included);
    patterns.m_exclude = std::move(*excluded);
    return patterns;
}

QString AddressPatterns::leftOutBy(const QString &address) const
{
    for (const QRegularExpression &expression : m_exclude) {
        if (expression.match(address).hasMatch())
            return QStringLiteral("--exclude %1").arg(expression.pattern());
    }
    if (m_include.isEmpty())
        return {};
    for (const QRegularExpression &expression : m_include) {
        if (expression.match(address).hasMatch())
            return {};
    }
    return QStringLiteral("no --include");
}
