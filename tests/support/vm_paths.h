#pragma once

namespace testsupport {
extern const char* const kTestClassesPath;
extern const char* const kLibraryPath;
}  // namespace testsupport
