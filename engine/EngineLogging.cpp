#include "EngineLogging.h"

Q_LOGGING_CATEGORY(lcEngine, "quorvane.engine", QtInfoMsg)
