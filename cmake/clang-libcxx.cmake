# Shared by the clang + libc++ toolchain files: the compiler family and C++ runtime of the
# Android toolchain. The including file sets KESTRA_TARGET (clang's target triple),
# KESTRA_DEB_ARCH (Debian's name of the architecture), KESTRA_ARCH_FLAGS, and
# CMAKE_LIBRARY_ARCHITECTURE.
#
# libc++, libc++abi and LLVM's unwinder are linked statically into every program and library, as
# the Android toolchain's c++_static does, so nothing built here needs a shared C++ runtime. They
# come unpacked from Debian's packages under build/libcxx/<arch> (scripts/install-abi-deps.sh).
# The unwinder must be LLVM's, the one Debian's libc++abi is built for: with libgcc's in its
# place, on armv7 (ARM EHABI) a thrown exception finds no handler and terminates the process.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET ${KESTRA_TARGET})
set(CMAKE_CXX_COMPILER_TARGET ${KESTRA_TARGET})

get_filename_component(KESTRA_LIBCXX_ROOT "${CMAKE_CURRENT_LIST_DIR}/../build/libcxx/${KESTRA_DEB_ARCH}/usr/lib/llvm-14" ABSOLUTE)
if(NOT EXISTS "${KESTRA_LIBCXX_ROOT}/lib/libunwind.a")
  message(FATAL_ERROR "libc++ of ${KESTRA_DEB_ARCH} is missing at ${KESTRA_LIBCXX_ROOT}: run scripts/install-abi-deps.sh (make test-abis does)")
endif()

string(JOIN " " KESTRA_ARCH_FLAGS ${KESTRA_ARCH_FLAGS})
set(CMAKE_C_FLAGS_INIT "${KESTRA_ARCH_FLAGS}")
set(CMAKE_CXX_FLAGS_INIT "${KESTRA_ARCH_FLAGS} -stdlib=libc++ -isystem ${KESTRA_LIBCXX_ROOT}/include/c++/v1")
# -static-libgcc: libgcc's helpers are linked in too, so nothing needs libgcc_s.
set(KESTRA_LINK_FLAGS "${KESTRA_ARCH_FLAGS} -nostdlib++ -static-libgcc")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${KESTRA_LINK_FLAGS}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${KESTRA_LINK_FLAGS}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${KESTRA_LINK_FLAGS}")
set(CMAKE_CXX_STANDARD_LIBRARIES "${KESTRA_LIBCXX_ROOT}/lib/libc++.a ${KESTRA_LIBCXX_ROOT}/lib/libc++abi.a ${KESTRA_LIBCXX_ROOT}/lib/libunwind.a -lpthread")

# GoogleTest must be built against the same C++ runtime: the tests compile it from source.
set(KESTRA_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources, built with the tests' C++ runtime")
# The shipped library's test checks that no shared C++ runtime is needed.
set(KESTRA_STATIC_CXX_RUNTIME ON CACHE BOOL "libc++ is linked into the library")

# No Google Benchmark is built with libc++ here: the benchmarks stay with the GCC presets.
set(CMAKE_DISABLE_FIND_PACKAGE_benchmark ON)
