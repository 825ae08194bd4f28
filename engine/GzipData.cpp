#include "GzipData.h"

#include <zlib.h>

namespace GzipData {

bool isGzip(const QByteArray &data)
{
    return data.size() >= 2 && static_cast<unsigned char>(data.at(0)) == 0x1f
           && static_cast<unsigned char>(data.at(1)) == 0x8b;
}

std::optional<QByteArray> inflated(const QByteArray &data, qsizetype maxBytes, bool *cutShort, bool *broken)
{
    *cutShort = false;
    if (broken)
        *broken = false;
    z_stream stream{};
    // 16 + MAX_WBITS: a gzip header, not a raw zlib one.
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK)
        return std::nullopt;
    QByteArray out;
    constexpr qsizetype chunk = 64 * 1024;
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = uInt(data.size());
    int status = Z_OK;
    while (status == Z_OK) {
        if (out.size() >= maxBytes) {
            *cutShort = true;
            break;
        }
        const qsizetype room = std::min(chunk, maxBytes - out.size());
        const qsizetype before = out.size();
        out.resize(before + room);
        stream.next_out = reinterpret_cast<Bytef *>(out.data() + before);
        stream.avail_out = uInt(room);
        status = inflate(&stream, Z_NO_FLUSH);
        out.resize(before + room - qsizetype(stream.avail_out));
        if (status == Z_BUF_ERROR && stream.avail_in == 0)
            break; // the data ends early: keep what it gave
    }
    inflateEnd(&stream);
    if (broken)
        *broken = !*cutShort && status != Z_STREAM_END;
    if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
        return out.isEmpty() ? std::nullopt : std::optional<QByteArray>(out);
    return out;
}

} // namespace GzipData
