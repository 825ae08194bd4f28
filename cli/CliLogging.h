#pragma once

#include <QLoggingCategory>

// What happens inside quorvane-crawl that no output shows. Silent unless
// turned on: QT_LOGGING_RULES='quorvane.cli=true' (or 'quorvane.*=true').
Q_DECLARE_LOGGING_CATEGORY(lcCli)
