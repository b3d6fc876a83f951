# Entry points. `make test` and `make demo` install whatever is missing first.
PRESETS := linux-x86 linux-x64
JOBS ?= $(shell nproc)

.PHONY: all build deps test format clean

all: build

deps:
	scripts/install-deps.sh

build: deps
	@for preset in $(PRESETS); do \
	  cmake --preset $$preset >/dev/null && cmake --build --preset $$preset -j $(JOBS) || exit 1; \
	done

test: build
	@for preset in $(PRESETS); do \
	  echo "== tests of $$preset"; \
	  ctest --preset $$preset -j $(JOBS) || exit 1; \
	done

format:
	find module host component scanner tests $(wildcard tools) -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf build
