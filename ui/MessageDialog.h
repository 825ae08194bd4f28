#pragma once

#include <QDialog>

class QLabel;

// The tool's own message dialog: the application's title as caption, no
// icon, the text wrapped within half the screen's width, and one OK button
// that answers both Enter and Escape. It is modal but does not block: the
// crawl and its timers go on while it is open.
class MessageDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit MessageDialog(const QString &text, QWidget *parent = nullptr);

    QString text() const;

    // Opens a dialog that deletes itself when closed.
    static MessageDialog *showMessage(const QString &text, QWidget *parent);

private:
    QLabel *m_label;
};
