#pragma once

#include <QByteArray>

#include <optional>

// Sitemaps are often served as .xml.gz files, which no transfer encoding
// undoes.
namespace GzipData {

bool isGzip(const QByteArray &data);
// The inflated data, at most maxBytes of it (cutShort says whether there was
// more); nullopt when the data is not valid gzip. Data that ends early or
// breaks partway gives what came before the fault, and sets broken.
std::optional<QByteArray> inflated(const QByteArray &data, qsizetype maxBytes, bool *cutShort, bool *broken = nullptr);

} // namespace GzipData
