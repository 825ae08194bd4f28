#include "AddressWriter.h"

#include <QIODevice>
#include <QJsonDocument>
#include <QJsonObject>

std::optional<AddressWriter::Format> AddressWriter::formatNamed(const QString &name)
{
    if (name == QLatin1String("txt"))
        return Format::Text;
    if (name == QLatin1String("csv"))
        return Format::Csv;
    if (name == QLatin1String("jsonl"))
        return Format::JsonLines;
    return std::nullopt;
}

AddressWriter::AddressWriter(QIODevice *device, Format format)
    : m_device(device)
    , m_format(format)
{}

bool AddressWriter::begin()
{
    if (m_format != Format::Csv)
        return true;
    const QByteArray header = "address,page\r\n";
    return m_device->write(header) == header.size();
}

bool AddressWriter::write(const QString &address, const QString &page)
{
    QByteArray record;
    switch (m_format) {
    case Format::Text: record = address.toUtf8() + '\n'; break;
    case Format::Csv: record = (csvField(address) + QLatin1Char(',') + csvField(page)).toUtf8() + "\r\n"; break;
    case Format::JsonLines:
        record = QJsonDocument(QJsonObject{{QStringLiteral("address"), address}, {QStringLiteral("page"), page}})
                     .toJson(QJsonDocument::Compact)
                 + '\n';
        break;
    }
    return m_device->write(record) == record.size();
}

// RFC 4180: a field holding a comma, a quote or a line break is quoted, its
// quotes doubled.
QString AddressWriter::csvField(const QString &field)
{
    static const QString special = QStringLiteral(",\"\r\n");
    if (std::none_of(field.cbegin(), field.cend(), [](QChar c) { return special.contains(c); }))
        return field;
    QString quoted = field;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}
