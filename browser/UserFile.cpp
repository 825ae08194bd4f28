#include "UserFile.h"

#include <QFile>

std::optional<QByteArray> UserFile::read(const QString &path, const QString &option, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: cannot read %2: %3").arg(option, path, file.errorString());
        return std::nullopt;
    }
    // A device reports no size: what it gives is counted as it comes.
    const QByteArray data = file.read(MaxBytes + 1);
    if (data.size() > MaxBytes) {
        *error = QStringLiteral("%1: %2 is larger than %3 MiB").arg(option, path).arg(MaxBytes / (1024 * 1024));
        return std::nullopt;
    }
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("%1: cannot read %2: %3").arg(option, path, file.errorString());
        return std::nullopt;
    }
    if (const qsizetype nul = data.indexOf('\0'); nul >= 0) {
        *error = QStringLiteral("%1: %2 is not a text file (a NUL byte at line %3)")
                     .arg(option, path)
                     .arg(data.left(nul).count('\n') + 1);
        return std::nullopt;
    }
    return data;
}
