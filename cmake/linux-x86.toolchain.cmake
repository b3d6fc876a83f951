# 32-bit x86 Linux: the same pointer size, wchar_t width and C++ ABI as the Android x86 build,
# and the instruction set that ABI guarantees (i686 with SSSE3, SSE arithmetic).
# Pinning the library architecture keeps find_package from picking up 64-bit GoogleTest or JDK files.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_FLAGS_INIT "-m32 -mssse3 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-m32 -mssse3 -mfpmath=sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(KESTRA_JAVA_HOME /usr/lib/jvm/java-17-openjdk-i386 CACHE PATH "JDK of the target architecture")
include(${CMAKE_CURRENT_LIST_DIR}/i386-runner.cmake)
