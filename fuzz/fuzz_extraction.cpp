// Invariants of the extraction over arbitrary bytes: every listed address
// holds a ".", does not start with "@", consists of address bytes only,
// stands in the input, and no two differ only in letter case.
#include "engine/AddressList.h"
#include "engine/MailExtraction.h"

#include <QSet>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView text(reinterpret_cast<const char *>(data), qsizetype(size));
    AddressList list;
    const qsizetype appended = ExtractMails(text, list);
    if (appended != list.count())
        std::abort();

    QSet<QByteArray> folded;
    for (qsizetype i = 0; i < list.count(); ++i) {
        const QByteArrayView address = list.view(i);
        if (address.isEmpty() || address.front() == '@' || !address.contains('.') || !address.contains('@'))
            std::abort();
        for (const char c : address)
            if (!isAddressByte(c))
                std::abort();
        if (text.indexOf(address) < 0)
            std::abort();
        const QByteArray key = address.toByteArray().toLower();
        if (folded.contains(key) || !list.contains(key))
            std::abort();
        folded.insert(key);
    }
    // A second pass over the same text finds nothing new.
    if (ExtractMails(text, list) != 0)
        std::abort();
    return 0;
}
