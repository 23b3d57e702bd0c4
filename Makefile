# Wraps CMake: `make demo`, `make test`, `make test-long`, `make bench`,
# `make fuzz`.
JOBS ?= $(shell nproc)
FUZZ_TIME ?= 60
CMAKE_FLAGS ?=
# Warnings fail the build only in the test runs (and so in CI), never a
# user's build with a newer compiler.
WERROR ?= OFF

.PHONY: all deps build build-asan build-fuzz test test-long fuzz demo bench \
        clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B build -DWERROR=$(WERROR) $(CMAKE_FLAGS) >/dev/null
	cmake --build build -j $(JOBS)

build-asan: deps
	cmake -S . -B build-asan -DSANITIZE=ON -DWERROR=$(WERROR) $(CMAKE_FLAGS) >/dev/null
	cmake --build build-asan -j $(JOBS)

build-fuzz: deps
	cmake -S . -B build-fuzz -DFUZZ=ON -DCMAKE_CXX_COMPILER=clang++ \
	  -DWERROR=$(WERROR) $(CMAKE_FLAGS) >/dev/null
	cmake --build build-fuzz -j $(JOBS) --target shell_command_fuzzer \
	  agent_signature_fuzzer

# Every test, in the normal build and under AddressSanitizer and UBSan, then
# a short fuzzing run, with warnings as errors.
test: WERROR = ON
test: build build-asan
	cd build && ctest --output-on-failure -j $(JOBS) -LE long
	cd build-asan && ctest --output-on-failure -j $(JOBS) -LE long
	$(MAKE) --no-print-directory fuzz FUZZ_TIME=20

# The slow tests (real time-outs, load).
test-long: WERROR = ON
test-long: build
	cd build && ctest --output-on-failure -L long

# Fuzzes for FUZZ_TIME seconds in all, half each: the quoting and the
# command lines, then the parsers of the signing key and the signature
# (starting from minisign's own files in tests/fuzz/signature-seeds).
# Inputs that reach new code collect in build-fuzz/corpus and
# build-fuzz/signature-corpus for the next run, and an input that fails is
# saved as build-fuzz/crash-*.
fuzz: build-fuzz
	mkdir -p build-fuzz/corpus build-fuzz/signature-corpus
	build-fuzz/shell_command_fuzzer -max_total_time=$$(( $(FUZZ_TIME) / 2 )) \
	  -artifact_prefix=build-fuzz/ -print_final_stats=1 build-fuzz/corpus
	build-fuzz/agent_signature_fuzzer \
	  -max_total_time=$$(( $(FUZZ_TIME) - $(FUZZ_TIME) / 2 )) \
	  -artifact_prefix=build-fuzz/ -print_final_stats=1 \
	  build-fuzz/signature-corpus tests/fuzz/signature-seeds

demo: build
	scripts/demo build

bench: build
	python3 bench/run.py build/bootstrapper

clean:
	rm -rf build build-asan build-fuzz
