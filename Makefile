# Entry points: make deps | build | check | demo
SHELL := /bin/bash
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)

# Debian packages the build, the tests and the demo need.
DEPS := cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libbenchmark-dev \
        libmotif-dev libxt-dev libx11-dev libxpm-dev xvfb xauth xdotool x11-apps \
        imagemagick mwm bzip2 tar binutils python3

.PHONY: deps build check demo clean

deps:
	@missing=$$(for p in $(DEPS); do \
	    dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; \
	  done); \
	if [ -n "$$missing" ]; then \
	  echo "make deps: installing" $$missing; \
	  if [ "$$(id -u)" -eq 0 ]; then SUDO=; else SUDO=sudo; fi; \
	  $$SUDO apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq --no-install-recommends $$missing; \
	fi

build:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

check: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=ON \
	  -DCMAKE_C_FLAGS_DEBUG="-O1 -g" -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g"
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

demo: deps build
	@bash examples/demo.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)

# Benchmarks: build/bench/<name> (see bench/)
.PHONY: bench
bench: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS)
