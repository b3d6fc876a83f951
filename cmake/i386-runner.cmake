# Some x86_64 kernels run 64-bit programs only (32-bit support left out or switched off): there
# an i386 program fails to start with "Exec format error". Its loader tells which kind of kernel
# this is; on the 64-bit-only kind, every 32-bit program (tests, console, benchmarks) runs under
# qemu's user-mode emulation, as the ARM builds do.
execute_process(COMMAND /lib/ld-linux.so.2 --version RESULT_VARIABLE KESTRA_I386_STATUS
  OUTPUT_QUIET ERROR_QUIET)
if(NOT KESTRA_I386_STATUS STREQUAL "0")
  set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386)
endif()
