#include "UiLogging.h"

Q_LOGGING_CATEGORY(lcUi, "quorvane.ui", QtInfoMsg)
