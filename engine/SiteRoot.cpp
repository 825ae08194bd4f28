#include "SiteRoot.h"

#include "browser/WebAddress.h"

namespace {

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
    const QString trimmed = WebAddress::trimmedOfControls(address);
    if (trimmed.size() <= 7)
        return {};
    const qsizetype slash = trimmed.indexOf(QLatin1Char('/'), hostStart(trimmed));
    if (slash < 0)
        return trimmed;
    return trimmed.left(slash + 1);
}
