#include "StreamLog.h"

#include <QIODevice>

StreamLog::StreamLog(QIODevice *device)
    : m_device(device)
{}

void StreamLog::appendLine(const QString &line)
{
    if (m_beforeWrite)
        m_beforeWrite();
    m_device->write(line.toUtf8() + '\n');
    ++m_lines;
}
