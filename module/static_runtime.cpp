// Linked into the shipped library only where the C++ runtime is linked in with it (libc++ and
// libc++abi as static archives): each runtime piece the library never reaches is defined here
// as a stand-in, so the linker takes no archive member for it.
#include <cstddef>

// The demangler (120 to 140 KB stripped), called only by the default terminate handler to name
// the type of an uncaught exception.
// Safe: no exception leaves the library; one reaching terminate still aborts, its type mangled.
extern "C" char* __cxa_demangle(const char*, char*, size_t*, int* status) {
    if (status != nullptr) {
        *status = -2;  // "not a valid mangled name": the caller prints the name as it is
    }
    return nullptr;
}
