#include "module/trace.h"

#include <android/log.h>

#include <cstdarg>
#include <cstring>

void trace(const char* format, ...) {
    va_list args;
    va_start(args, format);
    __android_log_vprint(ANDROID_LOG_INFO, kLogTag, format, args);
    va_end(args);
}

void traceText(const char* text, const char* prefix) {
    size_t room = kLogLineLimit - strnlen(prefix, kLogLineLimit);
    size_t length = strnlen(text, room + 1);
    if (length <= room) {
        trace("%s%s", prefix, text);
        return;
    }
    // The byte after the cut starts a character unless it continues one (10xxxxxx).
    size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    trace("%s%.*s", prefix, static_cast<int>(cut), text);
}
