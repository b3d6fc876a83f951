#include "module/trace.h"

#include <android/log.h>

#include <cstdarg>

void trace(const char* format, ...) {
    va_list args;
    va_start(args, format);
    __android_log_vprint(ANDROID_LOG_INFO, kLogTag, format, args);
    va_end(args);
}
