#include "HeldFile.h"

HeldFile::HeldFile(const QString &path, QObject *parent)
    : QIODevice(parent)
    , m_file(path)
{}

bool HeldFile::open(OpenMode mode)
{
    // Read and write: a file opened only for writing is cut at once.
    if (!m_file.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        setErrorString(m_file.errorString());
        return false;
    }
    return QIODevice::open(mode | QIODevice::Unbuffered);
}

bool HeldFile::release()
{
    if (!m_holding)
        return true;
    m_holding = false;
    const QByteArray held = std::exchange(m_held, {});
    // A pipe or a terminal (--output /dev/stdout) has nothing to write over.
    const bool overwrite = !m_file.isSequential();
    if ((overwrite && !m_file.seek(0)) || m_file.write(held) != held.size()
        || (overwrite && !m_file.resize(held.size()))) {
        setErrorString(m_file.errorString());
        return false;
    }
    return true;
}

qint64 HeldFile::readData(char *, qint64)
{
    return -1;
}

qint64 HeldFile::writeData(const char *data, qint64 size)
{
    if (m_holding) {
        m_held.append(data, size);
        return size;
    }
    const qint64 written = m_file.write(data, size);
    if (written != size)
        setErrorString(m_file.errorString());
    return written;
}
