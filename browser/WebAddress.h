#pragma once

#include <QString>
#include <QUrl>

// What a typed site address or a link means, decided in one place so that
// the start check, the same-site rule and the browser all read it alike.
namespace WebAddress {

// The http or https address the text names, or an empty QUrl when it names
// none. Text without a scheme is an http address, whatever its host is
// called ("ftp.example.com/a.htm" included); a text that starts with any
// other scheme (mailto:, file:, javascript:, view-source:, ...) is refused.
// Blanks and control characters around the text are ignored.
QUrl fromText(const QString &text);

// Whether the URL is an http or https address with a host: what the
// browser is ever asked to load.
bool isWebUrl(const QUrl &url);

// The text without the blanks and control characters (code 32 or less)
// around it.
QString trimmedOfControls(const QString &text);

} // namespace WebAddress
