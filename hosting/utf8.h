// The one UTF-8 encoder of the programs that host the library (console, benchmarks, hosting),
// for the text they print and the class names they hand to JNI.
#pragma once

#include <string>

namespace hosting {

// Appends the UTF-8 bytes of one code point: one to four bytes. A surrogate half is written on
// its own in three bytes, as JNI's modified UTF-8 writes each half of a pair.
void appendUtf8(std::string& out, char32_t code);

}  // namespace hosting
