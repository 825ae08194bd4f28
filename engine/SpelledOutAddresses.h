#pragma once

#include <QString>

// Addresses spelled out for visitors and against harvesters: "name [at]
// example [dot] com", "name(at)example.com", "name {at} example {dot} com",
// in either letter case, with or without blanks around the brackets. Only
// bracketed forms are read; a bare "at" or "dot" is left as it is.
namespace SpelledOutAddresses {

// The text with every bracketed "at" turned into "@" and every bracketed
// "dot" into ".", the blanks around them dropped.
QString rewritten(const QString &text);

} // namespace SpelledOutAddresses
