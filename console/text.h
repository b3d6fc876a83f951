// Text forms the console deals in: host short strings (UTF-16 units), UTF-8 for the terminal,
// and a visible form of text that may hold control characters.
#pragma once

#include "host/host_api.h"

#include <string>
#include <vector>

namespace console {

// UTF-16 units (up to the first NUL or `length` units) as UTF-8; a lone surrogate becomes U+FFFD.
std::string utf8FromHost(const ShortWchar* text, size_t length);
std::string utf8FromHost(const ShortWchar* text);

// UTF-8 as a NUL-terminated array of UTF-16 units; malformed bytes become U+FFFD.
std::u16string hostFromUtf8(const std::string& text);

// UTF-8 text with every control character shown by its name in angle brackets (the GS1 group
// separator 0x1D as <GS>, a line feed as <LF>), so that a barcode prints on one line and
// nothing in it can drive the terminal.
std::string visible(const std::string& utf8);

// Number of characters (code points) in UTF-8 text, for aligning columns.
size_t displayLength(const std::string& utf8);

// Splits a command line into words: blanks separate them, double quotes group blanks into a
// word ("" is an empty word), and inside quotes \" and \\ stand for " and \. Returns false with
// a reason when a quote is left open.
bool splitWords(const std::string& line, std::vector<std::string>& words, std::string& problem);

}  // namespace console
