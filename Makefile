# Thin wrapper over CMake. `make run` and `make test` do all the set-up on a
# fresh Debian 12 machine (as root: missing packages are installed first).
BUILD ?= build
JOBS ?= $(shell nproc)
PACKAGES = cmake g++ make python3 libgtest-dev libbenchmark-dev grace xvfb xauth \
           libreadline-dev clang libclang-rt-14-dev \
           libhdf5-dev hdf5-tools python3-h5py python3-numpy
# Seconds each fuzz target runs in `make test` (after its seed corpus).
FUZZ_SECONDS ?= 60

.PHONY: all deps build run test test-sanitize fuzz clean

all: build

deps:
	@missing=""; for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q "install ok installed" || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	fi

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

run: build
	cd examples && ../$(BUILD)/kurvatab sample.dat

# The whole suite, then again built with AddressSanitizer and
# UndefinedBehaviorSanitizer, then the fuzz targets for a bounded time.
test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	$(MAKE) test-sanitize fuzz

# Any sanitizer report ends the process with an error, failing its test.
test-sanitize: deps
	cmake -S . -B $(BUILD)-sanitize -DCMAKE_BUILD_TYPE=Debug -DKURVATAB_SANITIZE=ON \
	  -DKURVATAB_BENCH=OFF
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

clean:
	rm -rf $(BUILD) $(BUILD)-sanitize $(BUILD)-fuzz
