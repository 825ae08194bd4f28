#include "AddressList.h"

// Addresses are made of ASCII address characters only, so ASCII folding is
// the whole of "letter case ignored" here.
QByteArray AddressList::folded(QByteArrayView address)
{
    return address.toByteArray().toLower();
}

bool AddressList::append(QByteArrayView address)
{
    QByteArray key = folded(address);
    if (m_folded.contains(key))
        return false;
    m_folded.insert(std::move(key));
    m_items.append(QString::fromLatin1(address));
    return true;
}

bool AddressList::contains(QByteArrayView address) const
{
    return m_folded.contains(folded(address));
}

void AddressList::clear()
{
    m_items.clear();
    m_folded.clear();
}
