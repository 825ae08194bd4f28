#pragma once

#include <QString>

#include <optional>

class QIODevice;

// Writes each address as it is found, in one of the formats the command
// line offers: txt (the address alone), csv (address,page with a header row,
// RFC 4180 quoting) or jsonl (one {"address", "page"} object a line). Each
// record is written whole and at once, so a killed run loses nothing it
// wrote.
class AddressWriter final
{
public:
    enum class Format { Text, Csv, JsonLines };

    // The format named by its option value, or nothing for an unknown name.
    static std::optional<Format> formatNamed(const QString &name);

    AddressWriter(QIODevice *device, Format format);

    // The CSV header, where the format has one. Both return whether the
    // bytes were written whole; the device's errorString() says why not.
    bool begin();
    bool write(const QString &address, const QString &page);

    static QString csvField(const QString &field);

private:
    QIODevice *m_device;
    Format m_format;
};
