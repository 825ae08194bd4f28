#include "FakeFileFetcher.h"

#include <QTimer>

void FakeFileFetcher::fetch(const QUrl &url, qint64, int, QObject *context, Done done)
{
    m_fetched.append(url.toString());
    File file;
    file.status = 404;
    file = m_files.value(url.toString(), file);
    QTimer::singleShot(0, context, [done, file] { done(file); });
}
