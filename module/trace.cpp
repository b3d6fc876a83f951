#include "module/trace.h"

#include "component/conversions.h"

#include <android/log.h>

#include <cstdarg>
#include <cstring>

void trace(const char* format, ...) {
    va_list args;
    va_start(args, format);
    __android_log_vprint(ANDROID_LOG_INFO, kLogTag, format, args);
    va_end(args);
}

namespace {

// A log line under construction: the prefix first, then as much of the text as fits.
class Line {
public:
    explicit Line(const char* prefix) : m_length(strnlen(prefix, kLogLineLimit)) {
        memcpy(m_bytes, prefix, m_length);
    }
    char* end() { return m_bytes + m_length; }
    size_t room() const { return kLogLineLimit - m_length; }
    void grow(size_t bytes) { m_length += bytes; }

    // The line is always written through "%s": its bytes are never read as a format.
    void write() {
        m_bytes[m_length] = '\0';
        trace("%s", m_bytes);
    }

private:
    char m_bytes[kLogLineLimit + 1];
    size_t m_length;
};

}  // namespace

void traceText(const char* text, const char* prefix) {
    Line line(prefix);
    size_t room = line.room();
    size_t length = strnlen(text, room + 1);
    if (length > room) {
        // The byte after the cut starts a character unless it continues one (10xxxxxx).
        length = room;
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
            --length;
        }
    }
    memcpy(line.end(), text, length);
    line.grow(length);
    line.write();
}

void traceText(const std::wstring& text, const char* prefix) {
    Line line(prefix);
    line.grow(narrowInto(line.end(), line.room(), text.c_str(), text.size()));
    line.write();
}
