// The host's memory manager as tests play it: the shared stand-in, which records every block it
// hands out, frees them all when it is destroyed, and can be told to refuse.
#pragma once

#include "hosting/host.h"
#include "tests/support/host_connection.h"

#include <string>

namespace testsupport {

using HostMemory = hosting::HostMemory;

// The units of a host short string up to its terminator (empty for null).
inline std::u16string hostText(const ShortWchar* text) {
    return shortText(text);
}

}  // namespace testsupport
