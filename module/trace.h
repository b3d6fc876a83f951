// The library's diagnostic log: one Android log record per line, priority info, one tag.
#pragma once

constexpr char kLogTag[] = "MobileBarcodeScannerNative";

// Writes one line. The format is always the library's own text; text from outside the library
// goes through "%s", never as the format itself.
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
