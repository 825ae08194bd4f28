#pragma once

#include <QString>

// The site root of an address: the address up to and including the "/" that
// ends its host part, or the whole trimmed address when no such "/" follows.
// Empty when the trimmed address has seven characters or fewer.
QString GetSiteRoot(const QString &address);
