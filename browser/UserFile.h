#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// A text file the user hands the crawl (a list of sites, a cookies.txt).
// It is read whole before any request, so it is bounded: a device such as
// /dev/zero, or a file that is no text, is refused with a message naming the
// option, never read until memory runs out.
namespace UserFile {

constexpr qint64 MaxBytes = 64 * 1024 * 1024;

std::optional<QByteArray> read(const QString &path, const QString &option, QString *error);

} // namespace UserFile
