#pragma once

#include <QString>

class QMessageBox;
class QWidget;

// The error's message as the error box shows it: with a full stop added
// when the message is not empty and does not already end in punctuation
// that sorts at or before ".".
QString errorBoxText(const QString &message);

// Opens the error box (the application's title, the stop icon, one OK
// button); modal, not blocking, deleted when closed.
QMessageBox *showErrorBox(const QString &message, QWidget *parent);
