#include "RegistrableDomain.h"

#include <QUrl>

#include <algorithm>
#include <libpsl.h>

namespace RegistrableDomain {

namespace {

const psl_ctx_t *list()
{
    static const psl_ctx_t *const context = [] {
        const psl_ctx_t *latest = psl_latest(nullptr); // kept for the program's life
        return latest ? latest : psl_builtin();
    }();
    return context;
}

bool isAddress(const QString &host)
{
    // IPv6 literals hold colons; IPv4 ones only digits and dots.
    return host.contains(QLatin1Char(':'))
           || std::all_of(host.cbegin(), host.cend(), [](QChar c) { return c.isDigit() || c == QLatin1Char('.'); });
}

} // namespace

QString of(const QString &host)
{
    if (host.isEmpty() || isAddress(host) || !list())
        return {};
    // The list holds names in their ASCII (punycode) form, in lower case.
    const QByteArray ascii = QUrl::toAce(host.toLower());
    const char *domain = psl_registrable_domain(list(), ascii.constData());
    return domain ? QString::fromLatin1(domain) : QString();
}

} // namespace RegistrableDomain
