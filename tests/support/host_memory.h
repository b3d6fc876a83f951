// The host's memory manager as tests play it: the shared stand-in, which records every block it
// hands out, frees them all when it is destroyed, and can be told to refuse.
#pragma once

#include "hosting/host.h"
#include "tests/support/host_connection.h"

namespace testsupport {

using HostMemory = hosting::HostMemory;

}  // namespace testsupport
