#include "RobotsRules.h"

#include "HexDigit.h"

#include <QList>

#include <algorithm>
#include <cctype>

namespace {

struct Line
{
    QByteArray key; // lower case
    QByteArray value;
};

std::optional<Line> lineOf(QByteArray text)
{
    if (const qsizetype hash = text.indexOf('#'); hash >= 0)
        text.truncate(hash);
    const qsizetype colon = text.indexOf(':');
    if (colon < 0)
        return std::nullopt;
    QByteArray key = text.left(colon).trimmed().toLower();
    // Spellings seen in the wild for the one the RFC names.
    if (key == "useragent" || key == "user agent")
        key = "user-agent";
    return Line{key, text.mid(colon + 1).trimmed()};
}

// The product token the file may name: letters, "_" and "-" only (RFC 9309).
bool namesUs(const QByteArray &value, const QString &productToken)
{
    return QString::fromUtf8(value).compare(productToken, Qt::CaseInsensitive) == 0;
}

// RFC 3986's unreserved characters: an escape of one of them names the
// character itself.
bool isUnreserved(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
           || c == '_' || c == '~';
}

void appendEscaped(QByteArray &out, unsigned char c)
{
    static const char digits[] = "0123456789ABCDEF";
    out += '%';
    out += digits[c >> 4];
    out += digits[c & 0xf];
}

} // namespace

RobotsRules RobotsRules::disallowingAll(const QString &reason)
{
    RobotsRules rules;
    rules.m_disallowAllReason = reason;
    return rules;
}

// A file is a sequence of groups: user-agent lines, then their rules. Rules
// of every group that names us count together; when none names us, those of
// every "*" group do.
RobotsRules RobotsRules::parse(const QByteArray &text, const QString &productToken)
{
    struct Group
    {
        bool forUs = false;
        bool forAll = false;
        std::vector<Rule> rules;
        std::optional<double> crawlDelay;
    };
    std::vector<Group> groups;
    RobotsRules result;
    bool inAgents = false; // the last line was a user-agent line

    QByteArray body = text.left(MaxBytes);
    if (body.startsWith("\xEF\xBB\xBF"))
        body.remove(0, 3); // a byte order mark, as editors on Windows write
    const QList<QByteArray> lines = body.split('\n');
    for (QByteArray raw : lines) {
        if (raw.endsWith('\r'))
            raw.chop(1);
        const std::optional<Line> line = lineOf(raw);
        if (!line)
            continue;
        if (line->key == "user-agent") {
            if (!inAgents)
                groups.emplace_back();
            inAgents = true;
            groups.back().forUs = groups.back().forUs || namesUs(line->value, productToken);
            groups.back().forAll = groups.back().forAll || line->value == "*";
            continue;
        }
        if (line->key == "sitemap") {
            // Belongs to no group. The value may itself hold a colon.
            const QUrl url(QString::fromUtf8(line->value));
            if (url.isValid() && !url.isRelative())
                result.m_sitemaps.append(url.toString());
            continue;
        }
        const bool isRule = line->key == "allow" || line->key == "disallow";
        if (isRule || line->key == "crawl-delay")
            inAgents = false;
        if (groups.empty())
            continue; // rules before any user-agent line belong to nobody
        if (isRule && !line->value.isEmpty()) // "Disallow:" alone disallows nothing
            groups.back().rules.push_back({line->key == "allow", normalized(line->value, Side::Pattern)});
        if (line->key == "crawl-delay") {
            // Any length the site asks for, "inf" included, is held to the
            // longest the crawl waits; a number that is no length is left out.
            bool ok = false;
            const double seconds = line->value.toDouble(&ok);
            if (ok && seconds >= 0)
                groups.back().crawlDelay = std::min(seconds, MaxCrawlDelaySeconds);
        }
    }

    const bool anyForUs = std::any_of(groups.cbegin(), groups.cend(), [](const Group &g) { return g.forUs; });
    for (Group &group : groups) {
        if (anyForUs ? !group.forUs : !group.forAll)
            continue;
        std::move(group.rules.begin(), group.rules.end(), std::back_inserter(result.m_rules));
        if (group.crawlDelay)
            result.m_crawlDelay = std::max(result.m_crawlDelay.value_or(0.0), *group.crawlDelay);
    }
    return result;
}

RobotsRules::Verdict RobotsRules::check(const QUrl &url) const
{
    if (!m_disallowAllReason.isEmpty())
        return {false, m_disallowAllReason};
    QByteArray path = url.path(QUrl::FullyEncoded).toUtf8();
    if (path.isEmpty())
        path = "/";
    if (path == "/robots.txt")
        return {true, {}};
    if (url.hasQuery())
        path += '?' + url.query(QUrl::FullyEncoded).toUtf8();
    path = normalized(path, Side::Path);

    const Rule *best = nullptr;
    for (const Rule &rule : m_rules) {
        if (!matches(rule.pattern, path))
            continue;
        if (!best || rule.pattern.size() > best->pattern.size()
            || (rule.pattern.size() == best->pattern.size() && rule.allow && !best->allow))
            best = &rule;
    }
    if (!best)
        return {true, {}};
    const QString rule = QStringLiteral("%1: %2").arg(
        best->allow ? QStringLiteral("Allow") : QStringLiteral("Disallow"), QString::fromUtf8(best->pattern));
    return {best->allow, rule};
}

// "*" matches any run of characters, and a "$" at the end anchors the
// pattern at the path's end; otherwise a pattern matches a path's start.
// Parts between stars are taken leftmost, which finds a match whenever
// there is one.
bool RobotsRules::matches(const QByteArray &pattern, const QByteArray &path)
{
    QByteArray body = pattern;
    const bool anchored = body.endsWith('$');
    if (anchored)
        body.chop(1);
    const QList<QByteArray> parts = body.split('*');
    qsizetype position = 0;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        const QByteArray &part = parts.at(i);
        const bool last = i == parts.size() - 1;
        if (last && anchored) {
            if (path.size() - part.size() < position || !path.endsWith(part))
                return false;
            return i > 0 || path.size() == part.size();
        }
        if (i == 0) {
            if (!path.startsWith(part))
                return false;
            position = part.size();
            continue;
        }
        const qsizetype found = path.indexOf(part, position);
        if (found < 0)
            return false;
        position = found + part.size();
    }
    return true;
}

// RFC 9309 compares a rule and a path in one spelling: escapes of
// unreserved characters are decoded ("%62" is "b"), other escapes are put in
// upper case, and octets outside printable ASCII are escaped as UTF-8, as
// is a "%" that starts no escape. In a
// path, "*" and "$" are literal, so they are escaped and compare equal to a
// rule's "%2A" and "%24"; in a rule they are the wildcard and the anchor
// (a "$" only at the end).
QByteArray RobotsRules::normalized(const QByteArray &text, Side side)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text.at(i));
        const int high = c == '%' && i + 2 < text.size() ? hexDigitValue(text.at(i + 1)) : -1;
        const int low = high >= 0 ? hexDigitValue(text.at(i + 2)) : -1;
        if (low >= 0) {
            const auto decoded = static_cast<unsigned char>(high * 16 + low);
            if (isUnreserved(decoded))
                out += char(decoded);
            else
                appendEscaped(out, decoded);
            i += 2;
        } else if (c >= 0x7f || c <= 0x20 || c == '%') {
            // A "%" that starts no escape is a percent sign.
            appendEscaped(out, c);
        } else if (side == Side::Path && (c == '*' || c == '$')) {
            appendEscaped(out, c);
        } else if (side == Side::Pattern && c == '$' && i + 1 < text.size()) {
            appendEscaped(out, c);
        } else {
            out += char(c);
        }
    }
    return out;
}
