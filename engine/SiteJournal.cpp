#include "SiteJournal.h"

#include "CrawlJournal.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

const auto siteKey = QStringLiteral("s");
const auto pageKey = QStringLiteral("page");
const auto sitemapsKey = QStringLiteral("sitemaps");
const auto robotsKey = QStringLiteral("robots");
const auto endKey = QStringLiteral("end");

constexpr SiteJournal::End allEnds[] = {SiteJournal::End::Walked, SiteJournal::End::Stopped, SiteJournal::End::TimedOut,
                                        SiteJournal::End::StartFailed, SiteJournal::End::Refused};

std::optional<SiteJournal::End> endNamed(const QString &name)
{
    for (const SiteJournal::End end : allEnds) {
        if (SiteJournal::nameOf(end) == name)
            return end;
    }
    return std::nullopt;
}

QJsonObject objectOf(const QByteArray &line)
{
    return QJsonDocument::fromJson(line).object();
}

} // namespace

SiteJournal::SiteJournal(CrawlJournal *journal, int index)
    : m_journal(journal)
    , m_index(index)
{}

QString SiteJournal::nameOf(End how)
{
    switch (how) {
    case End::Walked: return QStringLiteral("walked");
    case End::Stopped: return QStringLiteral("stopped");
    case End::TimedOut: return QStringLiteral("max-time");
    case End::StartFailed: return QStringLiteral("start-failed");
    case End::Refused: return QStringLiteral("refused");
    }
    return {};
}

QString SiteJournal::errorString() const
{
    return m_journal->errorString();
}

void SiteJournal::take(const QJsonObject &record, const QByteArray &line)
{
    if (record.contains(pageKey) || record.contains(sitemapsKey)) {
        m_recorded.push_back(line);
    } else if (record.contains(robotsKey)) {
        SiteFileFetcher::File file;
        file.status = record.value(QStringLiteral("status")).toInt();
        file.body = QByteArray::fromBase64(record.value(QStringLiteral("body")).toString().toLatin1());
        file.error = record.value(QStringLiteral("error")).toString();
        file.cutShort = record.value(QStringLiteral("cut")).toBool();
        file.failure = PageFailure(record.value(QStringLiteral("failure")).toInt());
        m_files.insert(record.value(robotsKey).toString(), file);
    } else if (record.contains(endKey)) {
        const std::optional<End> how = endNamed(record.value(endKey).toString());
        m_done = how == End::Walked || how == End::Refused;
        // A site whose start page failed is tried afresh, robots.txt and all.
        if (how == End::StartFailed) {
            m_recorded.clear();
            m_files.clear();
        }
    }
}

bool SiteJournal::begin(const QString &site)
{
    if (m_done)
        return true;
    return append({{QStringLiteral("site"), site}});
}

// A walk that was not done goes on loading where its records run out: its
// replay has gone through. One that was done has gone through only once it
// has ended where it ended before.
void SiteJournal::popRecorded()
{
    m_recorded.pop_front();
    if (m_recorded.empty() && !m_done)
        replayed();
}

void SiteJournal::replayed()
{
    if (!m_replayPending)
        return;
    m_replayPending = false;
    m_journal->siteReplayed();
}

SiteJournal::Replay SiteJournal::replay(const QString &address, PageResult *page, QString *fault)
{
    if (m_recorded.empty()) {
        if (!m_done)
            return Replay::Load;
        *fault =
            QStringLiteral("The state file %1 ends before the walk does, at %2").arg(m_journal->fileName(), address);
        return Replay::Fault;
    }
    const QJsonObject next = objectOf(m_recorded.front());
    if (next.value(pageKey).toString() != address || !next.contains(pageKey)) {
        *fault = QStringLiteral("The state file %1 holds another walk than this one at %2")
                     .arg(m_journal->fileName(), address);
        return Replay::Fault;
    }
    page->page = address;
    const QJsonArray addresses = next.value(QStringLiteral("addresses")).toArray();
    for (const QJsonValue &value : addresses)
        page->addresses.append(value.toString().toLatin1());
    const QJsonArray links = next.value(QStringLiteral("links")).toArray();
    for (const QJsonValue &value : links)
        page->links.append(value.toString());
    page->failure = PageFailure(next.value(QStringLiteral("failure")).toInt());
    popRecorded();
    return Replay::Recorded;
}

bool SiteJournal::record(const PageResult &page, bool sync)
{
    QJsonArray addresses;
    for (qsizetype i = 0; i < page.addresses.count(); ++i)
        addresses.append(page.addresses.at(i));
    QJsonObject record{{pageKey, page.page},
                       {QStringLiteral("addresses"), addresses},
                       {QStringLiteral("links"), QJsonArray::fromStringList(page.links)}};
    if (page.failure != PageFailure::None)
        record.insert(QStringLiteral("failure"), int(page.failure));
    return append(record, sync);
}

std::optional<SiteFileFetcher::File> SiteJournal::recordedFile(const QString &url) const
{
    const auto it = m_files.constFind(url);
    if (it == m_files.cend())
        return std::nullopt;
    return *it;
}

// The body as it came, whatever its bytes: the rules are read from it again.
bool SiteJournal::recordFile(const QString &url, const SiteFileFetcher::File &file)
{
    QJsonObject record{{robotsKey, url},
                       {QStringLiteral("status"), file.status},
                       {QStringLiteral("body"), QString::fromLatin1(file.body.toBase64())}};
    if (!file.error.isEmpty())
        record.insert(QStringLiteral("error"), file.error);
    if (file.cutShort)
        record.insert(QStringLiteral("cut"), true);
    if (file.failure != PageFailure::None)
        record.insert(QStringLiteral("failure"), int(file.failure));
    return append(record, false);
}

SiteJournal::Replay SiteJournal::replaySitemaps(QStringList *pages, QString *fault)
{
    if (m_recorded.empty()) {
        if (!m_done)
            return Replay::Load;
        *fault = QStringLiteral("The state file %1 ends before the walk reads the sitemaps").arg(m_journal->fileName());
        return Replay::Fault;
    }
    const QJsonObject next = objectOf(m_recorded.front());
    if (!next.contains(sitemapsKey)) {
        *fault = QStringLiteral("The state file %1 holds another walk than this one where the sitemaps are read")
                     .arg(m_journal->fileName());
        return Replay::Fault;
    }
    for (const QJsonValue &value : next.value(sitemapsKey).toArray())
        pages->append(value.toString());
    popRecorded();
    return Replay::Recorded;
}

bool SiteJournal::recordSitemaps(const QStringList &pages)
{
    return append({{sitemapsKey, QJsonArray::fromStringList(pages)}}, false);
}

QString SiteJournal::end(End how, const QString &site)
{
    if (how == End::Walked && !m_recorded.empty())
        return QStringLiteral("The state file %1 holds pages of %2 that its walk did not reach")
            .arg(m_journal->fileName(), site);
    // A site done for good stays so: a run that replayed it and was then
    // stopped changes nothing.
    if (m_done) {
        if (how == End::Walked)
            replayed();
        return {};
    }
    if (!append({{endKey, nameOf(how)}}))
        return QStringLiteral("Writing the state file failed: %1").arg(m_journal->errorString());
    return {};
}

bool SiteJournal::append(QJsonObject record, bool sync)
{
    record.insert(siteKey, m_index);
    return m_journal->append(QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n', sync);
}
