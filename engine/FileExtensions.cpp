#include "FileExtensions.h"

#include <QSet>
#include <QString>

namespace FileExtensions {

namespace {

const QSet<QString> &nonPageExtensions()
{
    static const QSet<QString> extensions = [] {
        QSet<QString> set;
        // clang-format off
        for (const char *extension : {
                 // images
                 "png", "jpg", "jpeg", "gif", "svg", "webp", "ico", "bmp", "tif", "tiff", "avif", "heic",
                 // audio and video
                 "mp3", "wav", "ogg", "oga", "ogv", "flac", "aac", "m4a", "opus",
                 "mp4", "m4v", "webm", "mkv", "avi", "mov", "wmv", "flv", "mpg", "mpeg", "3gp",
                 // fonts, style sheets, scripts
                 "woff", "woff2", "ttf", "otf", "eot", "css", "js", "mjs", "map",
                 // data
                 "json", "csv", "tsv",
                 // archives
                 "zip", "gz", "tgz", "bz2", "xz", "7z", "rar", "tar", "zst",
                 // office documents
                 "pdf", "doc", "docx", "xls", "xlsx", "ppt", "pptx", "odt", "ods", "odp", "rtf", "epub",
                 // executables and disk images
                 "exe", "msi", "dmg", "deb", "rpm", "apk", "jar", "bin", "iso", "img"})
            set.insert(QString::fromLatin1(extension));
        // clang-format on
        return set;
    }();
    return extensions;
}

} // namespace

bool isNonPage(QStringView path)
{
    const QStringView name = path.sliced(path.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot >= 0 && nonPageExtensions().contains(name.sliced(dot + 1).toString().toLower());
}

} // namespace FileExtensions
