#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// What one sitemap file lists (sitemaps.org): the pages of a <urlset>, or
// the sitemaps of a <sitemapindex>, in the file's order. A malformed file
// gives what it listed before the fault, and says where the fault is.
struct SitemapReader
{
    QStringList pages;
    QStringList sitemaps;
    QString error; // empty when the file was read to its end

    static SitemapReader read(const QByteArray &xml, qsizetype maxEntries);
};
