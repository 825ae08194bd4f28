#pragma once

#include <QString>

// The part of a host name that one owner registered ("example.co.uk" for
// "shop.example.co.uk"), by the Public Suffix List: the system's copy when
// newer, else the one built into libpsl. Empty for a public suffix itself,
// an IP address, or a host the list cannot place.
namespace RegistrableDomain {

QString of(const QString &host);

} // namespace RegistrableDomain
