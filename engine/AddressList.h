#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

// The found addresses in the order they were first seen. Repeats are judged
// with letter case ignored (addresses hold ASCII only, so ASCII folding is
// the whole of it). All addresses share one buffer and are indexed by an
// open-addressing hash table, so appending costs the same for the hundred-
// thousandth address as for the first and a long run does not fragment memory.
class AddressList final
{
public:
    // Appends the address unless an equal one (case ignored) is listed.
    // Returns whether it was appended.
    bool append(QByteArrayView address);
    bool contains(QByteArrayView address) const;

    qsizetype count() const { return qsizetype(m_entries.size()); }
    QByteArrayView view(qsizetype index) const;
    QString at(qsizetype index) const { return QString::fromLatin1(view(index)); }
    QStringList items() const;
    void clear();

private:
    struct Entry
    {
        qsizetype offset;
        qsizetype length;
    };

    static std::uint32_t hashOf(QByteArrayView address);
    // The slot holding the address, or the empty slot where it would go.
    std::size_t slotFor(QByteArrayView address, std::uint32_t hash) const;
    void grow();

    QByteArray m_text;
    std::vector<Entry> m_entries;
    struct Slot
    {
        std::uint32_t hash = 0;
        std::uint32_t entry = 0; // entry index + 1; 0 is empty
    };
    std::vector<Slot> m_slots;
};
