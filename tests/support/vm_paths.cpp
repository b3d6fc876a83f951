// Compiled into each test program with the paths of its own build: the test classes and the
// library that program loads.
#include "tests/support/vm_paths.h"

namespace testsupport {
const char* const kTestClassesPath = KESTRA_TEST_CLASSES;
const char* const kLibraryPath = KESTRA_TEST_LIBRARY;
}  // namespace testsupport
