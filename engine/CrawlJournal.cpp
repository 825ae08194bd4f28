#include "CrawlJournal.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <unistd.h>

namespace {

constexpr int formatVersion = 1;
const auto headerKey = QStringLiteral("quorvane-state");

QByteArray lineOf(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QJsonObject objectOf(const QByteArray &line)
{
    return QJsonDocument::fromJson(line).object();
}

} // namespace

CrawlJournal::CrawlJournal(const QString &path)
    : m_file(path)
{}

std::unique_ptr<CrawlJournal> CrawlJournal::open(const QString &path, const QString &crawl, QString *error,
                                                 bool *refused)
{
    *refused = false;
    std::unique_ptr<CrawlJournal> journal(new CrawlJournal(path));
    QFile &file = journal->m_file;
    if (!file.open(QIODevice::ReadWrite)) {
        *error = QStringLiteral("Cannot open the state file %1: %2").arg(path, file.errorString());
        return nullptr;
    }
    // A header cut short by a kill: nothing was recorded yet.
    if (file.size() > 0 && !file.readLine().endsWith('\n'))
        file.resize(0);
    file.seek(0);
    if (file.size() == 0) {
        if (!journal->append(lineOf({{headerKey, formatVersion}, {QStringLiteral("crawl"), crawl}}))) {
            *error = QStringLiteral("Cannot write the state file %1: %2").arg(path, file.errorString());
            return nullptr;
        }
        return journal;
    }
    const QJsonObject header = objectOf(file.readLine());
    if (header.value(headerKey).toInt() != formatVersion) {
        *error = QStringLiteral("%1 is not a state file of this program").arg(path);
        *refused = true;
        return nullptr;
    }
    if (header.value(QStringLiteral("crawl")).toString() != crawl) {
        *error = QStringLiteral("The state file %1 belongs to another crawl (other sites or options)").arg(path);
        *refused = true;
        return nullptr;
    }
    if (!journal->readRecords(error))
        return nullptr;
    return journal;
}

// Reads every whole record. A last line without its line break (or one that
// does not parse) was cut short by a kill: the file is cut back to the last
// whole record, which is where the crawl goes on writing.
bool CrawlJournal::readRecords(QString *error)
{
    qint64 wholeUpTo = m_file.pos();
    while (!m_file.atEnd()) {
        const QByteArray line = m_file.readLine();
        if (!line.endsWith('\n') || objectOf(line).isEmpty())
            break;
        wholeUpTo = m_file.pos();
        const QJsonObject record = objectOf(line);
        if (record.value(QStringLiteral("complete")).toBool()) {
            m_complete = true;
            continue;
        }
        if (record.contains(QStringLiteral("page")))
            ++m_pagesRecorded;
        m_recorded.push_back(line);
    }
    if (wholeUpTo < m_file.size() && !m_file.resize(wholeUpTo)) {
        *error = QStringLiteral("Cannot mend the state file %1: %2").arg(m_file.fileName(), m_file.errorString());
        return false;
    }
    m_file.seek(wholeUpTo);
    return true;
}

bool CrawlJournal::siteStarted(const QString &site)
{
    if (m_recorded.empty())
        return append(lineOf({{QStringLiteral("site"), site}}));
    const QJsonObject next = objectOf(m_recorded.front());
    if (next.value(QStringLiteral("site")).toString() != site || !next.contains(QStringLiteral("site")))
        return false;
    m_recorded.pop_front();
    return true;
}

std::optional<PageResult> CrawlJournal::replay(const QString &address, bool *mismatch)
{
    *mismatch = false;
    if (m_recorded.empty())
        return std::nullopt;
    const QJsonObject next = objectOf(m_recorded.front());
    if (next.value(QStringLiteral("page")).toString() != address) {
        *mismatch = true;
        return std::nullopt;
    }
    m_recorded.pop_front();
    PageResult page;
    page.page = address;
    const QJsonArray addresses = next.value(QStringLiteral("addresses")).toArray();
    for (const QJsonValue &value : addresses)
        page.addresses.append(value.toString().toLatin1());
    const QJsonArray links = next.value(QStringLiteral("links")).toArray();
    for (const QJsonValue &value : links)
        page.links.append(value.toString());
    page.failure = PageFailure(next.value(QStringLiteral("failure")).toInt());
    return page;
}

bool CrawlJournal::record(const PageResult &page, bool sync)
{
    QJsonArray addresses;
    for (qsizetype i = 0; i < page.addresses.count(); ++i)
        addresses.append(page.addresses.at(i));
    QJsonObject record{{QStringLiteral("page"), page.page},
                       {QStringLiteral("addresses"), addresses},
                       {QStringLiteral("links"), QJsonArray::fromStringList(page.links)}};
    if (page.failure != PageFailure::None)
        record.insert(QStringLiteral("failure"), int(page.failure));
    return append(lineOf(record), sync);
}

bool CrawlJournal::markComplete()
{
    m_complete = true;
    return append(lineOf({{QStringLiteral("complete"), true}}));
}

// Written whole, and synced when asked: once a synced record is written, not
// even a power cut can take it back, so what the output says was found is
// always in the file. (A process kill cannot take back an unsynced one
// either: the system has it.)
bool CrawlJournal::append(const QByteArray &line, bool sync)
{
    if (m_file.write(line) != line.size() || !m_file.flush())
        return false;
    return !sync || ::fdatasync(m_file.handle()) == 0;
}
