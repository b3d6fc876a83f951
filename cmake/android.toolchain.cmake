# The Android presets: the NDK's own toolchain file, found through ANDROID_NDK_HOME. Without it
# configuring stops here with one message instead of failing later on every compiler check.
if(NOT DEFINED ENV{ANDROID_NDK_HOME} OR NOT EXISTS "$ENV{ANDROID_NDK_HOME}/build/cmake/android.toolchain.cmake")
  message(FATAL_ERROR "The Android presets need the NDK: set ANDROID_NDK_HOME to its folder "
    "(the one holding build/cmake/android.toolchain.cmake); now it is '$ENV{ANDROID_NDK_HOME}'.")
endif()
include("$ENV{ANDROID_NDK_HOME}/build/cmake/android.toolchain.cmake")
