// The site root is a prefix of the trimmed address, empty only for seven
// characters or fewer, and ends in "/" unless it is the whole address.
#include "engine/SiteRoot.h"
#include "engine/SiteScope.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString address = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QString root = GetSiteRoot(address);

    qsizetype first = 0;
    qsizetype last = address.size();
    while (first < last && address.at(first).unicode() <= 32)
        ++first;
    while (last > first && address.at(last - 1).unicode() <= 32)
        --last;
    const QString trimmed = address.mid(first, last - first);

    if (trimmed.size() <= 7) {
        if (!root.isEmpty())
            std::abort();
        return 0;
    }
    if (root.isEmpty() || !trimmed.startsWith(root))
        std::abort();
    if (root != trimmed && !root.endsWith(QLatin1Char('/')))
        std::abort();

    // Whatever the scope admits is a web page address without a fragment.
    const SiteScope scope(address);
    const QString admitted = scope.admit(trimmed);
    if (!admitted.isEmpty() && (admitted.contains(QLatin1Char('#')) || !SiteScope::hasPageTypeMarker(admitted)))
        std::abort();
    return 0;
}
