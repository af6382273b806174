# Thin wrapper over CMake. `make run` and `make test` do all the set-up on a
# fresh Debian 12 machine (as root: missing packages are installed first).
BUILD ?= build
JOBS ?= $(shell nproc)
PACKAGES = cmake g++ make python3 libgtest-dev libbenchmark-dev grace xvfb xauth \
           libreadline-dev

.PHONY: all deps build run test clean

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

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD)
