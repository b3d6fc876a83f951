// What both fuzz targets add to the shared host: failing on a broken promise, the check of every
// log line, and a memory manager that checks what it is asked.
#pragma once

#include "host/host_api.h"
#include "hosting/host.h"

#include <android/log.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace fuzzhost {

// KESTRA_FUZZ_VERBOSE=1 lists the host's steps, to follow a crashing input.
inline bool verbose() {
    static const bool on = getenv("KESTRA_FUZZ_VERBOSE") != nullptr;
    return on;
}

[[noreturn]] inline void fail(const char* what) {
    fprintf(stderr, "invariant broken: %s\n", what);
    abort();
}

inline void require(bool condition, const char* what) {
    if (!condition) {
        fail(what);
    }
}

// Every log line must be the library's info line under its tag, and readable UTF-8 whatever
// text from outside it carries.
inline bool isUtf8(const unsigned char* text) {
    while (*text != 0) {
        unsigned lead = *text++;
        int follow = lead < 0x80                   ? 0
                     : lead >= 0xC2 && lead < 0xE0 ? 1
                     : lead >= 0xE0 && lead < 0xF0 ? 2
                     : lead >= 0xF0 && lead < 0xF5 ? 3
                                                   : -1;
        if (follow < 0) {
            return false;
        }
        for (int i = 0; i < follow; ++i) {
            if ((*text++ & 0xC0) != 0x80) {
                return false;
            }
        }
    }
    return true;
}

// The library cuts outside text that the Android log could not keep whole at a character
// boundary itself, so every line is whole UTF-8.
inline void checkLogLine(const __android_logger_data* data, const char* message) {
    require(data->priority == ANDROID_LOG_INFO, "log line not at info priority");
    require(data->tag != nullptr && strcmp(data->tag, "MobileBarcodeScannerNative") == 0, "log line tag");
    require(message != nullptr, "log line without a message");
    if (!isUtf8(reinterpret_cast<const unsigned char*>(message))) {
        fprintf(stderr, "log line bytes:");
        for (const char* p = message; *p != 0; ++p) {
            fprintf(stderr, " %02X", static_cast<unsigned char>(*p));
        }
        fail("\nlog line is not UTF-8");
    }
}

// The shared host memory, granting a number of blocks (or all) and refusing the rest, which
// fails on a request the library should never make.
class HostMemory : public hosting::HostMemory {
public:
    using hosting::HostMemory::HostMemory;
    bool AllocMemory(void** block, uint32_t size) override {
        require(block != nullptr, "AllocMemory without a place for the block");
        require(size > 0 && size <= (1u << 24), "AllocMemory of an absurd size");
        return hosting::HostMemory::AllocMemory(block, size);
    }
};

}  // namespace fuzzhost
