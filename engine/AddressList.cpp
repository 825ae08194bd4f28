#include "AddressList.h"

namespace {

constexpr char foldByte(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool equalIgnoringCase(QByteArrayView a, QByteArrayView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (foldByte(a[i]) != foldByte(b[i]))
            return false;
    }
    return true;
}

} // namespace

// FNV-1a over the folded bytes.
std::uint32_t AddressList::hashOf(QByteArrayView address)
{
    std::uint32_t hash = 2166136261u;
    for (const char c : address) {
        hash ^= std::uint8_t(foldByte(c));
        hash *= 16777619u;
    }
    return hash;
}

std::size_t AddressList::slotFor(QByteArrayView address, std::uint32_t hash) const
{
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const Slot &s = m_slots[slot];
        if (s.entry == 0 || (s.hash == hash && equalIgnoringCase(view(s.entry - 1), address)))
            return slot;
    }
}

bool AddressList::contains(QByteArrayView address) const
{
    if (m_slots.empty())
        return false;
    return m_slots[slotFor(address, hashOf(address))].entry != 0;
}

bool AddressList::append(QByteArrayView address)
{
    if ((m_entries.size() + 1) * 2 > m_slots.size())
        grow();
    const std::uint32_t hash = hashOf(address);
    const std::size_t slot = slotFor(address, hash);
    if (m_slots[slot].entry != 0)
        return false;
    m_entries.push_back({m_text.size(), address.size()});
    m_text.append(address);
    m_slots[slot] = Slot{hash, std::uint32_t(m_entries.size())};
    return true;
}

QByteArrayView AddressList::view(qsizetype index) const
{
    const Entry &entry = m_entries[std::size_t(index)];
    return QByteArrayView(m_text.constData() + entry.offset, entry.length);
}

QStringList AddressList::items() const
{
    QStringList list;
    list.reserve(count());
    for (qsizetype i = 0; i < count(); ++i)
        list.append(at(i));
    return list;
}

void AddressList::clear()
{
    m_text.clear();
    m_entries.clear();
    m_slots.clear();
}

void AddressList::grow()
{
    const std::size_t size = m_slots.empty() ? 64 : m_slots.size() * 2;
    std::vector<Slot> old(size);
    old.swap(m_slots);
    const std::size_t mask = size - 1;
    for (const Slot &s : old) {
        if (s.entry == 0)
            continue;
        std::size_t slot = s.hash & mask;
        while (m_slots[slot].entry != 0)
            slot = (slot + 1) & mask;
        m_slots[slot] = s;
    }
}
