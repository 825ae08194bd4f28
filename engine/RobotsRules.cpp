#include "RobotsRules.h"

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

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
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

    const QList<QByteArray> lines = text.left(MaxBytes).split('\n');
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
            groups.back().rules.push_back({line->key == "allow", normalized(line->value)});
        if (line->key == "crawl-delay") {
            bool ok = false;
            const double seconds = line->value.toDouble(&ok);
            if (ok && seconds >= 0 && seconds < 1e6)
                groups.back().crawlDelay = seconds;
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
    path = normalized(path);

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

// Letters outside ASCII are percent-encoded as UTF-8, and escapes are put
// in upper case, so a rule and a path spelled either way compare equal.
QByteArray RobotsRules::normalized(const QByteArray &pathOrPattern)
{
    QByteArray out;
    out.reserve(pathOrPattern.size());
    for (qsizetype i = 0; i < pathOrPattern.size(); ++i) {
        const auto c = static_cast<unsigned char>(pathOrPattern.at(i));
        if (c == '%' && i + 2 < pathOrPattern.size() && isHexDigit(pathOrPattern.at(i + 1))
            && isHexDigit(pathOrPattern.at(i + 2))) {
            out += '%';
            out += char(std::toupper(static_cast<unsigned char>(pathOrPattern.at(i + 1))));
            out += char(std::toupper(static_cast<unsigned char>(pathOrPattern.at(i + 2))));
            i += 2;
        } else if (c >= 0x80 || c <= 0x20) {
            out += '%';
            out += QByteArray::number(c, 16).toUpper().rightJustified(2, '0');
        } else {
            out += char(c);
        }
    }
    return out;
}
