# Wraps CMake: `make demo`, `make test`, `make test-long`, `make bench`.
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build build-asan test test-long demo bench clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B build $(CMAKE_FLAGS) >/dev/null
	cmake --build build -j $(JOBS)

build-asan: deps
	cmake -S . -B build-asan -DSANITIZE=ON $(CMAKE_FLAGS) >/dev/null
	cmake --build build-asan -j $(JOBS)

# Every test, in the normal build and under AddressSanitizer and UBSan.
test: build build-asan
	cd build && ctest --output-on-failure -j $(JOBS) -LE long
	cd build-asan && ctest --output-on-failure -j $(JOBS) -LE long

# The slow tests (real time-outs, load).
test-long: build
	cd build && ctest --output-on-failure -L long

demo: build
	scripts/demo build

bench: build
	python3 bench/run.py build/bootstrapper

clean:
	rm -rf build build-asan
