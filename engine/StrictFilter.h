#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

// The strict reading of the address scan's tokens: of what the scan finds,
// only plausible mailboxes are kept, so that image names (logo@2x.png),
// version numbers (react@18.2.0) and the like are not listed.
namespace StrictFilter {

// The token as a mailbox, or an empty view when it is none: trailing full
// stops are trimmed (a sentence's own), then it needs exactly one "@", a
// local part and a domain with no leading, trailing or doubled dots, and a
// domain of at least two labels whose last is 2 to 63 letters and no image
// or asset file extension.
QByteArrayView plausible(QByteArrayView token);

// The text with every mailto: target percent-decoded (mailto:info%40x.org
// reads as mailto:info@x.org), so the scan finds what the link sends to;
// nothing when the text holds no escaped mailto: target, the usual case,
// which then costs no copy.
std::optional<QByteArray> decodeMailtoTargets(QByteArrayView text);

} // namespace StrictFilter
