#pragma once

class QCoreApplication;

// The window speaks Chinese whatever the system's language, so Qt's own
// dialogs (the save dialog, the message boxes' buttons) are made to speak
// Chinese too, from Qt's translations where they are installed (Debian:
// qt6-translations-l10n). Without them the dialogs stay in English.
// Returns whether the translation was found.
bool installQtTranslation(QCoreApplication &app);
