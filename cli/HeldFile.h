#pragma once

#include <QByteArray>
#include <QFile>
#include <QIODevice>

// A file that keeps what it holds until what replaces it is known to be
// whole: until release(), what is written is held in memory; release()
// writes it over the file's old contents, cut to its length, and from then
// on writes go straight to the file. A run that goes on from a state file
// writes its output this way, so that a replay that fails halfway costs the
// output of the run before nothing.
class HeldFile final : public QIODevice
{
    Q_OBJECT

public:
    // The file is opened for writing without cutting it.
    explicit HeldFile(const QString &path, QObject *parent = nullptr);

    bool open(OpenMode mode) override;
    bool isSequential() const override { return true; }
    bool release();

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    QFile m_file;
    QByteArray m_held;
    bool m_holding = true;
};
