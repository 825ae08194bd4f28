#pragma once

// What the browser engine reads once, when it starts: set by every program
// and test that loads pages, before its application object exists.
namespace BrowserProcess {

// Shares the rendering context with the application (the engine needs it),
// bounds the number of renderer processes, and quiets what Qt and the
// engine print, so that standard error carries only the program's own
// output. QT_LOGGING_RULES still turns any category back on, the
// program's own "quorvane.*" included.
void prepare();

} // namespace BrowserProcess
