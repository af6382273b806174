# Thin wrapper over CMake. `make run` and `make test` do all the set-up on a
# fresh Debian 12 machine (as root: missing packages are installed first).
BUILD ?= build
JOBS ?= $(shell nproc)
PACKAGES = cmake g++ make python3 libgtest-dev libbenchmark-dev grace xvfb xauth \
           libreadline-dev clang libclang-rt-14-dev clang-format \
           libhdf5-dev hdf5-tools python3-h5py python3-numpy \
           libcminpack-dev python3-scipy
# Seconds each fuzz target runs in `make test` (after its seed corpus);
# `make fuzz-long` runs each for FUZZ_LONG_SECONDS instead.
FUZZ_SECONDS ?= 30
FUZZ_LONG_SECONDS ?= 1800

.PHONY: all deps build run test test-sanitize fuzz fuzz-long format check-format clean

all: build

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi

# CI builds with warnings as errors (WERROR=ON); a plain build only warns.
WERROR ?= OFF

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKURVATAB_WERROR=$(WERROR)
	cmake --build $(BUILD) -j $(JOBS)

run: build
	cd examples && ../$(BUILD)/kurvatab sample.dat

# The whole suite, then again built with AddressSanitizer and
# UndefinedBehaviorSanitizer, then the fuzz targets for a bounded time.
test: WERROR = ON
test: check-format build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) test-sanitize fuzz

# Any sanitizer report ends the process with an error, failing its test.
test-sanitize: deps
	cmake -S . -B $(BUILD)-sanitize -DCMAKE_BUILD_TYPE=Debug -DKURVATAB_SANITIZE=ON \
	  -DKURVATAB_BENCH=OFF -DKURVATAB_WERROR=$(WERROR)
	cmake --build $(BUILD)-sanitize -j $(JOBS)
	cd $(BUILD)-sanitize && \
	  ASAN_OPTIONS=abort_on_error=0:detect_leaks=1:strict_string_checks=1 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/fuzz/lsan.supp \
	  ctest --output-on-failure -j $(JOBS)

# libFuzzer needs clang; the targets live in fuzz/.
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(BUILD)-fuzz -DKURVATAB_FUZZ=ON \
	  -DKURVATAB_TESTS=OFF -DKURVATAB_BENCH=OFF
	cmake --build $(BUILD)-fuzz -j $(JOBS)
	fuzz/run_fuzz.sh $(BUILD)-fuzz $(FUZZ_SECONDS)

# The long fuzzing run, by hand: FUZZ_LONG_SECONDS per target.
fuzz-long: FUZZ_SECONDS = $(FUZZ_LONG_SECONDS)
fuzz-long: fuzz

# Every C++ file of the tree in the style of .clang-format.
FORMAT_FILES = $(shell git ls-files '*.cc' '*.h')
format:
	clang-format -i $(FORMAT_FILES)
check-format: deps
	clang-format --dry-run --Werror $(FORMAT_FILES)

clean:
	rm -rf $(BUILD) $(BUILD)-sanitize $(BUILD)-fuzz
