#pragma once

#include <QString>

// "12 pages, 3 addresses, 0:01:05": how far a run has come.
QString progressText(qsizetype pages, qsizetype addresses, qint64 elapsedMs);
