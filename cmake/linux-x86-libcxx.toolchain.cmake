# 32-bit x86 Linux built like the Android x86 ABI (i686 with SSSE3): clang with libc++ linked statically
# (cmake/clang-libcxx.cmake), run natively in the 32-bit Java VM.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(KESTRA_TARGET i686-linux-gnu)
set(KESTRA_DEB_ARCH i386)
set(KESTRA_ARCH_FLAGS -m32 -mssse3 -mfpmath=sse)
include(${CMAKE_CURRENT_LIST_DIR}/clang-libcxx.cmake)
set(KESTRA_JAVA_HOME /usr/lib/jvm/java-17-openjdk-i386 CACHE PATH "JDK of the target architecture")
include(${CMAKE_CURRENT_LIST_DIR}/i386-runner.cmake)
