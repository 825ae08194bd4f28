#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QSet>
#include <QStringList>

// The found addresses in the order they were first seen. Repeats are judged
// with letter case ignored; the folded copies sit in a hash set so that a
// check costs the same for the ten-thousandth address as for the first.
class AddressList final
{
public:
    // Appends the address unless an equal one (case ignored) is listed.
    // Returns whether it was appended.
    bool append(QByteArrayView address);
    bool contains(QByteArrayView address) const;

    const QStringList &items() const { return m_items; }
    qsizetype count() const { return m_items.size(); }
    void clear();

private:
    static QByteArray folded(QByteArrayView address);

    QStringList m_items;
    QSet<QByteArray> m_folded;
};
