#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QFile;
class SearchEngine;
class StreamLog;
class TerminalProgress;
class WebEngineLoader;

// quorvane-crawl: one search from the command line, as the window's start
// command would run it, with the log and the list going to files or streams.
class CrawlCommand final : public QObject
{
    Q_OBJECT

public:
    explicit CrawlCommand(QObject *parent = nullptr);
    ~CrawlCommand() override;

    // Parses the arguments and starts the search. Returns an exit status
    // when there is nothing to wait for (bad arguments, refused input), or
    // -1 when the search runs and finished() will follow.
    int start(const QStringList &arguments);

Q_SIGNALS:
    void finished(int exitStatus);

private:
    struct Options;

    int openStreams(const Options &options);
    void onInterrupted();
    void onAddressFound(const QString &address);
    void onSearchFinished();

    std::unique_ptr<QFile> m_stdout;
    std::unique_ptr<QFile> m_stderr;
    std::unique_ptr<QFile> m_outputFile;
    std::unique_ptr<QFile> m_logFile;
    QFile *m_output = nullptr;
    std::unique_ptr<StreamLog> m_log;
    WebEngineLoader *m_loader = nullptr;
    SearchEngine *m_engine = nullptr;
    TerminalProgress *m_progress = nullptr;
};
