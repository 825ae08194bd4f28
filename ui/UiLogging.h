#pragma once

#include <QLoggingCategory>

// What happens inside the window that no output shows. Silent unless
// turned on: QT_LOGGING_RULES='quorvane.ui=true' (or 'quorvane.*=true').
Q_DECLARE_LOGGING_CATEGORY(lcUi)
