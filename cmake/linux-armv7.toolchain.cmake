# 32-bit ARM Linux (armeabi-v7a's instruction set: armv7-a, Thumb-2, VFP), cross-built with
# clang against Debian's armhf multiarch packages and libc++ (cmake/clang-libcxx.cmake). Debian's
# armhf passes floats in VFP registers where Android's armeabi-v7a uses integer registers; no
# float crosses the library's boundary, so the difference does not show here. Test programs run
# under qemu user-mode emulation, each in the armhf Java VM.
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabihf)
set(KESTRA_TARGET arm-linux-gnueabihf)
set(KESTRA_DEB_ARCH armhf)
set(KESTRA_ARCH_FLAGS -march=armv7-a -mthumb -mfpu=vfpv3-d16 -mfloat-abi=hard)
include(${CMAKE_CURRENT_LIST_DIR}/clang-libcxx.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-arm)
set(KESTRA_JAVA_HOME /usr/lib/jvm/java-17-openjdk-armhf CACHE PATH "JDK of the target architecture")
