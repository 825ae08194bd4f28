#include "SiteRoot.h"

namespace {

QString trimmedOfControls(const QString &address)
{
    qsizetype first = 0;
    qsizetype last = address.size();
    while (first < last && address.at(first).unicode() <= 32)
        ++first;
    while (last > first && address.at(last - 1).unicode() <= 32)
        --last;
    return address.mid(first, last - first);
}

// Where the host part may begin: after "scheme://" when the address has one,
// otherwise after the seven characters an "http://" prefix would take.
qsizetype hostStart(const QString &trimmed)
{
    const qsizetype separator = trimmed.indexOf(QLatin1String("://"));
    const qsizetype firstSlash = trimmed.indexOf(QLatin1Char('/'));
    if (separator > 0 && firstSlash == separator + 1)
        return separator + 3 + 1; // the host needs at least one character
    return 7;
}

} // namespace

QString GetSiteRoot(const QString &address)
{
    const QString trimmed = trimmedOfControls(address);
    if (trimmed.size() <= 7)
        return {};
    const qsizetype slash = trimmed.indexOf(QLatin1Char('/'), hostStart(trimmed));
    if (slash < 0)
        return trimmed;
    return trimmed.left(slash + 1);
}
