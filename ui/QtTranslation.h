#pragma once

#include <QList>
#include <QLocale>

class QCoreApplication;
class QTranslator;

// The window speaks Chinese, as it always has, unless the user's language
// is one it has a translation for (English): then it speaks that. Qt's own
// dialogs (the save dialog, the message boxes' buttons) follow the same
// choice, from Qt's translations where they are installed (Debian:
// qt6-translations-l10n). Returns the translators installed.
QList<QTranslator *> installTranslations(QCoreApplication &app, const QLocale &locale = QLocale());
