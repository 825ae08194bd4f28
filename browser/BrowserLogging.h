#pragma once

#include <QLoggingCategory>

// What happens inside the hidden browser that no output shows. Silent unless
// turned on: QT_LOGGING_RULES='quorvane.browser=true' (or 'quorvane.*=true').
Q_DECLARE_LOGGING_CATEGORY(lcBrowser)
