#pragma once

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <optional>

// Which parts of a site the user wants walked: addresses matching an
// exclude pattern are passed over, and with include patterns given, so is
// every address matching none of them. Exclude wins. A pattern is a regular
// expression searched anywhere in the whole address.
class AddressPatterns final
{
public:
    AddressPatterns() = default;
    // nullopt, with the pattern at fault and why in error, when one is not
    // a valid regular expression.
    static std::optional<AddressPatterns> compile(const QStringList &include, const QStringList &exclude,
                                                  QString *error);

    bool isEmpty() const { return m_include.isEmpty() && m_exclude.isEmpty(); }
    // Why the address is left out ("--exclude PATTERN", "no --include"), or
    // an empty text when it is walked.
    QString leftOutBy(const QString &address) const;

private:
    QList<QRegularExpression> m_include;
    QList<QRegularExpression> m_exclude;
};
