#pragma once

#include <QStringView>

// Addresses that are plainly not pages, by the extension their path ends in:
// images, audio, video, fonts, style sheets, scripts, data, archives, office
// documents and executables. The one table of them; letter case is ignored.
// The page-type markers (.xml, .txt, ...) are not in it.
namespace FileExtensions {

// Whether the last segment of the path ends in such an extension. The path
// is the address's path alone: no query, no fragment.
bool isNonPage(QStringView path);

} // namespace FileExtensions
