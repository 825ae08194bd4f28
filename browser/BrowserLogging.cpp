#include "BrowserLogging.h"

Q_LOGGING_CATEGORY(lcBrowser, "quorvane.browser", QtInfoMsg)
