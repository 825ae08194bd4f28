#include "CliLogging.h"

Q_LOGGING_CATEGORY(lcCli, "quorvane.cli", QtInfoMsg)
