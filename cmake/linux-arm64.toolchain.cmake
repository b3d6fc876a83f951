# 64-bit ARM Linux (arm64-v8a), cross-built with clang against Debian's multiarch packages and
# libc++ (cmake/clang-libcxx.cmake). Test programs run under qemu user-mode emulation, each in
# the arm64 Java VM. qemu gets no -L: the multiarch libc of arm64 is the one the VM needs.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(KESTRA_TARGET aarch64-linux-gnu)
set(KESTRA_DEB_ARCH arm64)
set(KESTRA_ARCH_FLAGS)
include(${CMAKE_CURRENT_LIST_DIR}/clang-libcxx.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)
set(KESTRA_JAVA_HOME /usr/lib/jvm/java-17-openjdk-arm64 CACHE PATH "JDK of the target architecture")
