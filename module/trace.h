// The library's diagnostic log: one Android log record per line, priority info, one tag.
#pragma once

#include <cstddef>
#include <string>

constexpr char kLogTag[] = "MobileBarcodeScannerNative";

// The longest line the Android log keeps: it formats each record into 1024 bytes.
constexpr size_t kLogLineLimit = 1023;

// Writes one line. The format is always the library's own text; text from outside the library
// goes through traceText, never as the format itself.
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes outside text (UTF-8) as one line, literally, after a prefix of the library's own. A
// line longer than the log keeps is cut at the last whole character that fits, never inside one.
void traceText(const char* text, const char* prefix = "");

// The same for wide text up to its first zero unit (a barcode, a device list): the line is the
// one traceText writes for wstrtostr(text), but only the part of the text that fits in the line
// is narrowed, on the stack.
void traceText(const std::wstring& text, const char* prefix = "");
