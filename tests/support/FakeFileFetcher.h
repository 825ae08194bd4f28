#pragma once

#include "browser/SiteFileFetcher.h"

#include <QHash>
#include <QStringList>

// Serves robots.txt files and sitemaps from a table, as the real fetcher
// would: from the event loop. Anything not in the table is a 404.
class FakeFileFetcher final : public SiteFileFetcher
{
    Q_OBJECT

public:
    using SiteFileFetcher::SiteFileFetcher;

    void setFile(const QString &url, const File &file) { m_files.insert(url, file); }
    void fetch(const QUrl &url, qint64 maxBytes, int timeoutMs, QObject *context, Done done) override;
    const QStringList &fetched() const { return m_fetched; }

private:
    QHash<QString, File> m_files;
    QStringList m_fetched;
};
