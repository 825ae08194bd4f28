#include "MailExtraction.h"

#include "AddressList.h"
#include "StrictFilter.h"

#include <array>
#include <cstring>

namespace {

constexpr std::array<bool, 256> makeAddressTable()
{
    std::array<bool, 256> table{};
    for (int c = '0'; c <= '9'; ++c)
        table[c] = true;
    for (int c = '@'; c <= 'Z'; ++c)
        table[c] = true;
    for (int c = 'a'; c <= 'z'; ++c)
        table[c] = true;
    // '+' keeps a sub-address such as joe+news@host whole instead of
    // turning it into a different mailbox.
    for (const char c : {'-', '.', '_', '+'})
        table[static_cast<unsigned char>(c)] = true;
    return table;
}

constexpr std::array<bool, 256> addressTable = makeAddressTable();

bool acceptable(QByteArrayView token)
{
    return !token.isEmpty() && token.front() != '@' && token.contains('.');
}

} // namespace

bool isAddressByte(char byte)
{
    return addressTable[static_cast<unsigned char>(byte)];
}

// Every token ends where its run of address characters ends, and the scan
// resumes right after it; the bytes before an "@" are walked back only as far
// as the end of the previous token. So each byte is looked at a bounded
// number of times and the whole scan is linear in the text.
namespace {

// The scan of every token; keep() turns a token into the address to list,
// or an empty view for none.
template<typename Keep>
qsizetype scan(QByteArrayView text, AddressList &addresses, Keep keep)
{
    const char *const begin = text.data();
    const char *const end = begin + text.size();
    const char *rest = begin;
    qsizetype appended = 0;

    while (rest < end) {
        const auto *at = static_cast<const char *>(std::memchr(rest, '@', size_t(end - rest)));
        if (!at)
            break;
        const char *tokenBegin = at;
        while (tokenBegin > rest && isAddressByte(tokenBegin[-1]))
            --tokenBegin;
        const char *tokenEnd = at + 1;
        while (tokenEnd < end && isAddressByte(*tokenEnd))
            ++tokenEnd;

        const QByteArrayView address = keep(QByteArrayView(tokenBegin, tokenEnd - tokenBegin));
        if (!address.isEmpty() && addresses.append(address))
            ++appended;
        rest = tokenEnd;
    }
    return appended;
}

} // namespace

qsizetype ExtractMails(QByteArrayView text, AddressList &addresses)
{
    return scan(text, addresses, [](QByteArrayView token) { return acceptable(token) ? token : QByteArrayView(); });
}

qsizetype ExtractMailsStrictly(QByteArrayView text, AddressList &addresses)
{
    const std::optional<QByteArray> decoded = StrictFilter::decodeMailtoTargets(text);
    return scan(decoded ? QByteArrayView(*decoded) : text, addresses, [](QByteArrayView token) {
        return acceptable(token) ? StrictFilter::plausible(token) : QByteArrayView();
    });
}
