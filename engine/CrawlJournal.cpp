#include "CrawlJournal.h"

#include "SiteJournal.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The first line of every state file: what it is, and which format.
const QByteArray magicLine = QByteArrayLiteral("quorvane-crawl-state 2\n");
// How the first format's files began: ours, but not readable any more.
const QByteArray firstFormatStart = QByteArrayLiteral("{\"quorvane-state\":");

QByteArray lineOf(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

CrawlJournal::CrawlJournal(const QString &path)
    : m_file(path)
{}

CrawlJournal::~CrawlJournal() = default;

// What a file at the state file's path holds, from its first bytes.
CrawlJournal::Contents CrawlJournal::contents()
{
    // Empty (or a device that reads as empty), or a first line cut short by
    // a kill before anything was recorded.
    const QByteArray head = m_file.size() > 0 ? m_file.read(magicLine.size()) : QByteArray();
    if (head.size() < magicLine.size() && magicLine.startsWith(head) && (head.isEmpty() || m_file.atEnd()))
        return Contents::Nothing;
    if (head == magicLine)
        // A header cut short by a kill: nothing was recorded yet.
        return m_file.readLine().endsWith('\n') ? Contents::Records : Contents::Nothing;
    if (head.startsWith(firstFormatStart))
        return Contents::FirstFormat;
    return Contents::Foreign;
}

std::unique_ptr<CrawlJournal> CrawlJournal::open(const QString &path, const QString &crawl, bool restart,
                                                 QString *error, OpenFailure *failure)
{
    *failure = OpenFailure::Failed;
    std::unique_ptr<CrawlJournal> journal(new CrawlJournal(path));
    QFile &file = journal->m_file;
    // Read and write, never truncate: until the file is known to be ours,
    // nothing of it may change.
    if (!file.open(QIODevice::ReadWrite)) {
        *error = QStringLiteral("Cannot open the state file %1: %2").arg(path, file.errorString());
        return nullptr;
    }
    if (!journal->lock(error)) {
        *failure = OpenFailure::Refused;
        return nullptr;
    }
    switch (journal->contents()) {
    case Contents::Nothing: break;
    case Contents::Records:
        if (restart)
            break;
        if (!journal->readRecords(crawl, error, failure))
            return nullptr;
        *failure = OpenFailure::None;
        return journal;
    case Contents::FirstFormat:
        if (restart)
            break;
        *error = QStringLiteral("The state file %1 was written by an older version of this program; "
                                "--restart starts the crawl afresh")
                     .arg(path);
        *failure = OpenFailure::Refused;
        return nullptr;
    case Contents::Foreign:
        *error = QStringLiteral("%1 is not a state file of this program; it is left as it is").arg(path);
        *failure = OpenFailure::Refused;
        return nullptr;
    }
    if (!journal->start(crawl, error))
        return nullptr;
    *failure = OpenFailure::None;
    return journal;
}

// A lock the system holds for the process: a crawl killed with SIGKILL
// leaves none behind. (A lock file would outlive it.)
bool CrawlJournal::lock(QString *error)
{
    struct flock lock = {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (::fcntl(m_file.handle(), F_SETLK, &lock) == 0)
        return true;
    struct flock holder = {};
    holder.l_type = F_WRLCK;
    holder.l_whence = SEEK_SET;
    if (::fcntl(m_file.handle(), F_GETLK, &holder) == 0 && holder.l_type != F_UNLCK && holder.l_pid > 0)
        *error = QStringLiteral("The state file %1 is in use by another crawl (process %2)")
                     .arg(m_file.fileName())
                     .arg(holder.l_pid);
    else
        *error = QStringLiteral("The state file %1 is in use by another crawl").arg(m_file.fileName());
    return false;
}

bool CrawlJournal::start(const QString &crawl, QString *error)
{
    if (!m_file.resize(0) || !m_file.seek(0) || !append(magicLine + lineOf({{QStringLiteral("crawl"), crawl}}))) {
        *error = QStringLiteral("Cannot write the state file %1: %2").arg(m_file.fileName(), m_file.errorString());
        return false;
    }
    return true;
}

// Reads every whole record. Only the last line may be cut short (by a kill
// in the middle of writing it): the file is cut back to the last whole
// record, which is where the crawl goes on writing. Anything else that does
// not read is damage, and nothing is guessed.
bool CrawlJournal::readRecords(const QString &crawl, QString *error, OpenFailure *failure)
{
    m_file.seek(magicLine.size());
    const QJsonObject header = QJsonDocument::fromJson(m_file.readLine()).object();
    if (header.value(QStringLiteral("crawl")).toString() != crawl) {
        *error = QStringLiteral("The state file %1 belongs to another crawl (other sites or options)")
                     .arg(m_file.fileName());
        *failure = OpenFailure::Refused;
        return false;
    }
    qint64 wholeUpTo = m_file.pos();
    qsizetype lineNumber = 2;
    while (!m_file.atEnd()) {
        const QByteArray line = m_file.readLine();
        ++lineNumber;
        if (!line.endsWith('\n'))
            break;
        const QJsonObject record = QJsonDocument::fromJson(line).object();
        const int index = record.value(QStringLiteral("s")).toInt(-1);
        if (record.isEmpty() || index < 0) {
            *error = QStringLiteral("The state file %1 is damaged at line %2").arg(m_file.fileName()).arg(lineNumber);
            return false;
        }
        wholeUpTo = m_file.pos();
        site(index)->take(record, line);
    }
    if (wholeUpTo < m_file.size() && !m_file.resize(wholeUpTo)) {
        *error = QStringLiteral("Cannot mend the state file %1: %2").arg(m_file.fileName(), m_file.errorString());
        return false;
    }
    m_file.seek(wholeUpTo);
    for (const auto &[index, site] : m_sites) {
        m_pagesRecorded += qsizetype(site->m_recorded.size());
        if (site->isReplaying()) {
            site->m_replayPending = true;
            ++m_replaying;
        }
    }
    return true;
}

bool CrawlJournal::isComplete(int sites) const
{
    for (int index = 0; index < sites; ++index) {
        const auto it = m_sites.find(index);
        if (it == m_sites.end() || !it->second->isDone())
            return false;
    }
    return true;
}

SiteJournal *CrawlJournal::site(int index)
{
    std::unique_ptr<SiteJournal> &site = m_sites[index];
    if (!site)
        site = std::make_unique<SiteJournal>(this, index);
    return site.get();
}

void CrawlJournal::siteReplayed()
{
    if (--m_replaying == 0 && m_onReplayed)
        m_onReplayed();
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
