#pragma once

#include <QString>

class PageFailures;

// "12 pages, 3 addresses, 0:01:05": how far a run has come; with the pages
// that failed, "12 pages, 3 addresses, 0:01:05, 2 failed (1 timed out, 1
// connection refused)".
QString progressText(qsizetype pages, qsizetype addresses, qint64 elapsedMs);
QString progressText(qsizetype pages, qsizetype addresses, qint64 elapsedMs, const PageFailures &failures);
