# Entry points. `make test` and `make demo` install whatever is missing first.
PRESETS := linux-x86 linux-x64
JOBS ?= $(shell nproc)

# The Android toolchain's compiler and C++ runtime (clang, libc++ linked in) on every ABI tested
# here: 32-bit x86 natively (or under qemu-i386, below), arm64 and armv7 under qemu user-mode emulation.
ABI_PRESETS := linux-x86-libcxx linux-arm64 linux-armv7

# Some x86_64 kernels start no 32-bit program at all ("Exec format error"; see
# cmake/i386-runner.cmake). There the 32-bit programs run under qemu-i386, and what cannot run
# inside an emulator runs on the x86_64 build instead: the benchmarks and the instruction budget
# (valgrind), the sanitizers and the fuzz targets (their shadow memory).
# Recursive variables: they are read when a recipe runs, after `deps` has installed the loader.
I386_NATIVE = $(shell /lib/ld-linux.so.2 --version >/dev/null 2>&1 && echo yes)
X86_RUN = $(if $(I386_NATIVE),,qemu-i386 )
NATIVE_ARCH = $(if $(I386_NATIVE),x86,x64)

.PHONY: all build deps test test-abis demo bench budget asan tsan fuzz fuzz-coverage format format-check check-docs clean

all: build

deps:
	scripts/install-deps.sh

build: deps
	@for preset in $(PRESETS); do \
	  cmake --preset $$preset >/dev/null && cmake --build --preset $$preset -j $(JOBS) || exit 1; \
	done

# Builds both presets quietly (each build's output goes to build/<preset>-build.log, shown only
# when it fails), then runs each suite.
test: deps
	@for preset in $(PRESETS); do \
	  scripts/build-quietly.sh $$preset build/$$preset-build.log -j $(JOBS) || exit 1; \
	done
	@for preset in $(PRESETS); do \
	  echo "== tests of $$preset"; \
	  ctest --preset $$preset -j $(JOBS) || exit 1; \
	done

# Installs what the ABI presets need (scripts/install-abi-deps.sh), then builds each and runs its
# whole suite, one preset at a time: under emulation every test program runs in the Java VM of
# its architecture with -Xcheck:jni. Each library must then pass the size check of `make budget`.
test-abis:
	scripts/install-abi-deps.sh
	@for preset in $(ABI_PRESETS); do \
	  echo "== build and tests of $$preset"; \
	  cmake --preset $$preset >/dev/null && cmake --build --preset $$preset -j $(JOBS) || exit 1; \
	  ctest --preset $$preset -j $(JOBS) || exit 1; \
	  file -b build/$$preset/libcom_kestra_MobileBarcodeScanner.so; \
	  bench/size.sh build/$$preset || exit 1; \
	done

# Builds only what the demo needs (the 32-bit library, kestra-console and its Java classes),
# quietly: the build's output goes to a log, shown only when the build fails. Then
# kestra-console plays the host for the library and runs the demo script: the settings document
# with the emulated scanners, open, the sample barcodes as external events, device test, close.
demo: deps
	@scripts/build-quietly.sh linux-x86 build/demo-build.log -j $(JOBS) --target kestra-console
	@echo "demo: running console/demo.script"
	@echo
	@$(X86_RUN)build/linux-x86/kestra-console console/demo.script

# The whole test suite, 32-bit (x86_64 where 32-bit programs cannot run), under AddressSanitizer
# and UndefinedBehaviorSanitizer.
asan: deps
	cmake --preset linux-$(NATIVE_ARCH)-asan >/dev/null && cmake --build --preset linux-$(NATIVE_ARCH)-asan -j $(JOBS)
	ctest --preset linux-$(NATIVE_ARCH)-asan -j $(JOBS)

# The storm and the soak, x86_64, under ThreadSanitizer (the VM itself is left out).
tsan: deps
	cmake --preset linux-x64-tsan >/dev/null && cmake --build --preset linux-x64-tsan -j $(JOBS)
	ctest --preset linux-x64-tsan

# The fuzz targets (libFuzzer, clang), each run for FUZZ_SECONDS: the component without a VM,
# from the committed seed sessions, then with a VM and the scriptable Java peer. What they learn
# stays in build/fuzz-corpus*, crashing inputs land in build/fuzz-artifacts, logs in build/fuzz*.log.
FUZZ_SECONDS ?= 120
FUZZ_BUILD = build/linux-$(NATIVE_ARCH)-fuzz
FUZZ_RUN := ASAN_SYMBOLIZER_PATH=/usr/bin/llvm-symbolizer-14 UBSAN_OPTIONS=print_stacktrace=1
FUZZ_FLAGS = -max_total_time=$(FUZZ_SECONDS) -timeout=30 -print_final_stats=1 -artifact_prefix=build/fuzz-artifacts/
# The VM handles these signals itself and allocates memory it never frees.
FUZZ_VM_RUN := $(FUZZ_RUN) ASAN_OPTIONS=handle_segv=0:allow_user_segv_handler=1:detect_leaks=0
FUZZ_VM_FLAGS := -handle_segv=0 -handle_bus=0 -handle_ill=0 -handle_fpe=0 -detect_leaks=0
fuzz:
	scripts/install-deps.sh clang-14 libclang-rt-14-dev llvm-14
	cmake --preset linux-$(NATIVE_ARCH)-fuzz >/dev/null && cmake --build --preset linux-$(NATIVE_ARCH)-fuzz -j $(JOBS)
	mkdir -p build/fuzz-corpus build/fuzz-corpus-vm build/fuzz-artifacts
	@echo "fuzzing the component for $(FUZZ_SECONDS) s, log in build/fuzz.log"
	@$(FUZZ_RUN) $(FUZZ_BUILD)/fuzz/kestra_fuzz_component $(FUZZ_FLAGS) build/fuzz-corpus fuzz/corpus \
	  >build/fuzz.log 2>&1 || { tail -n 80 build/fuzz.log; exit 1; }
	@grep -E '^#[0-9]+.*DONE|^stat::' build/fuzz.log
	@echo "fuzzing the component with a VM for $(FUZZ_SECONDS) s, log in build/fuzz-vm.log"
	@$(FUZZ_VM_RUN) $(FUZZ_BUILD)/fuzz/kestra_fuzz_vm $(FUZZ_FLAGS) $(FUZZ_VM_FLAGS) build/fuzz-corpus-vm \
	  >build/fuzz-vm.log 2>&1 || { tail -n 80 build/fuzz-vm.log; exit 1; }
	@grep -E '^#[0-9]+.*DONE|^stat::' build/fuzz-vm.log

# Line and region coverage of the library by both fuzz corpora: what `make fuzz` learnt, or the
# committed seed sessions alone when it has not run yet.
fuzz-coverage:
	scripts/install-deps.sh clang-14 libclang-rt-14-dev llvm-14
	cmake --preset linux-$(NATIVE_ARCH)-fuzz >/dev/null
	cmake --build --preset linux-$(NATIVE_ARCH)-fuzz -j $(JOBS) --target kestra_fuzz_component_coverage kestra_fuzz_vm_coverage
	mkdir -p build/fuzz-corpus build/fuzz-corpus-vm
	LLVM_PROFILE_FILE=build/fuzz-coverage.profraw $(FUZZ_BUILD)/fuzz/kestra_fuzz_component_coverage \
	  -runs=0 build/fuzz-corpus fuzz/corpus >/dev/null 2>&1
	LLVM_PROFILE_FILE=build/fuzz-vm-coverage.profraw $(FUZZ_BUILD)/fuzz/kestra_fuzz_vm_coverage \
	  -runs=0 $(FUZZ_VM_FLAGS) build/fuzz-corpus-vm >/dev/null 2>&1
	llvm-profdata-14 merge -sparse build/fuzz-coverage.profraw build/fuzz-vm-coverage.profraw \
	  -o build/fuzz-coverage.profdata
	llvm-cov-14 report $(FUZZ_BUILD)/fuzz/kestra_fuzz_component_coverage \
	  -object $(FUZZ_BUILD)/fuzz/libkestra_fuzzable_coverage_shared.so -instr-profile=build/fuzz-coverage.profdata \
	  $(CURDIR)/component $(CURDIR)/module $(CURDIR)/scanner

# Benchmarks of the 32-bit library inside a real VM: the barcode path and the driver calls
# against their floors, allocations, then instruction counts under callgrind. BENCH_ARGS go to
# the benchmark program (for example --benchmark_repetitions=3).
bench: deps
	cmake --preset linux-$(NATIVE_ARCH) >/dev/null && cmake --build --preset linux-$(NATIVE_ARCH) -j $(JOBS) --target kestra_bench
	bench/run.sh build/linux-$(NATIVE_ARCH) $(BENCH_ARGS)

# The budgets, checked in CI. The size of the shipped library: every library under build/
# stripped, against 64 KiB (GCC) or 128 KiB (libc++ linked in), each loadable segment aligned to
# 16 KB (bench/size.sh; both Linux presets' libraries are built first). The barcode path:
# instructions per barcode under callgrind against the floor that writes the same log records,
# and heap blocks per barcode of 1 to 65,536 characters (bench/budget.sh holds those budgets).
# Prints every figure; fails when one is over.
budget: deps
	@for preset in $(PRESETS); do \
	  cmake --preset $$preset >/dev/null && cmake --build --preset $$preset -j $(JOBS) --target com_kestra_MobileBarcodeScanner >/dev/null || exit 1; \
	done
	cmake --preset linux-$(NATIVE_ARCH) >/dev/null && cmake --build --preset linux-$(NATIVE_ARCH) -j $(JOBS) --target kestra_bench
	@status=0; bench/size.sh || status=1; bench/budget.sh build/linux-$(NATIVE_ARCH) || status=1; exit $$status

# Every C++ file of the project, formatted by the root .clang-format; format-check changes
# nothing and fails on the first file that differs.
FORMATTED = $(shell git ls-files '*.cpp' '*.h')
format:
	clang-format -i $(FORMATTED)

format-check:
	@clang-format --dry-run --Werror $(FORMATTED)

# Every `make` rule and `ctest` command the documentation shows does what it says (run after a build).
check-docs:
	scripts/check-docs.sh

clean:
	rm -rf build
