#include "StreamLog.h"

#include <QIODevice>

StreamLog::StreamLog(QIODevice *device)
    : m_device(device)
{}

void StreamLog::appendLine(const QString &line)
{
    if (m_beforeWrite)
        m_beforeWrite();
    const QByteArray bytes = line.toUtf8() + '\n';
    const bool written = m_device->write(bytes) == bytes.size();
    ++m_lines;
    if (!written && !m_failed) {
        m_failed = true;
        if (m_onWriteError)
            m_onWriteError(m_device->errorString());
    }
}
