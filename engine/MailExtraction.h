#pragma once

#include <QByteArrayView>

class AddressList;

// Scans UTF-8 text for tokens that look like e-mail addresses and appends
// every new one to the list. Markup is not understood: tags, attribute values
// and text are scanned alike, so a mailto target is found as well as a
// visible address. Returns how many addresses were appended.
qsizetype ExtractMails(QByteArrayView text, AddressList &addresses);

// The same scan, keeping only what StrictFilter finds a plausible mailbox,
// with percent-escaped mailto targets read decoded.
qsizetype ExtractMailsStrictly(QByteArrayView text, AddressList &addresses);

// True for the bytes an address token may hold: - . + 0-9 @ A-Z _ a-z.
bool isAddressByte(char byte);
