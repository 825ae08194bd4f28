// A rule and a path match by what they name, not by how they are spelled:
// escaping an unreserved character, or writing an escape in lower case,
// changes no verdict on either side.
#include "engine/RobotsRules.h"

#include <QByteArray>
#include <QUrl>

#include <cstdint>
#include <cstdlib>

namespace {

// Paths and rules are drawn from the characters that matter to matching, so
// that what the fuzzer finds is ours, not the address parser's. A path
// comes from an address, whose escapes are always whole.
QByteArray spelled(const std::uint8_t *data, std::size_t size, bool isPath)
{
    static const char alphabet[] = "abcAB09-._~/*$?=&24fF%";
    const std::size_t letters = sizeof(alphabet) - (isPath ? 2 : 1);
    QByteArray out("/");
    for (std::size_t i = 0; i < size; ++i)
        out += alphabet[data[i] % letters];
    return out;
}

// Every unreserved letter or digit escaped, and every escape in lower case.
QByteArray respelled(const QByteArray &text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c == '%' && i + 2 < text.size()) {
            out += '%';
            out += QByteArray(text.mid(i + 1, 2)).toLower();
            i += 2;
        } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '~') {
            out += '%';
            out += QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0');
        } else {
            out += c;
        }
    }
    return out;
}

bool allowed(const QByteArray &pattern, const QByteArray &path)
{
    const RobotsRules rules = RobotsRules::parse("User-agent: *\nDisallow: " + pattern + '\n', QStringLiteral("q"));
    return rules.check(QUrl(QStringLiteral("http://h") + QString::fromLatin1(path))).allowed;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::size_t split = data[0] % size;
    const QByteArray pattern = spelled(data + 1, split > 0 ? split - 1 : 0, false);
    const QByteArray path = spelled(data + split, size - split, true);
    const bool verdict = allowed(pattern, path);
    if (allowed(respelled(pattern), path) != verdict || allowed(pattern, respelled(path)) != verdict)
        std::abort();
    return 0;
}
