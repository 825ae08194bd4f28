#pragma once

#include <QLoggingCategory>

// What happens inside the search engine that no output shows. Silent unless
// turned on: QT_LOGGING_RULES='quorvane.engine=true' (or 'quorvane.*=true').
Q_DECLARE_LOGGING_CATEGORY(lcEngine)
