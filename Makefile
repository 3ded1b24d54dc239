# Entry points: make deps | build | check | demo | demo-gui
SHELL := /bin/bash
BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
CHECK_FUZZ_SECONDS ?= 30

# Debian packages the build, the tests and the demo need.
DEPS := cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libbenchmark-dev \
        libmotif-dev libxt-dev libx11-dev libxpm-dev xvfb xauth xdotool x11-apps \
        imagemagick mwm bzip2 tar binutils python3 strace

.PHONY: deps build asan-build demo-build check demo demo-gui clean fuzz fuzz-build fuzz-run

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

# The plain build (program, demo medium, tests).
build:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

# The same with AddressSanitizer and UndefinedBehaviorSanitizer.
asan-build:
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=ON \
	  -DCMAKE_C_FLAGS_DEBUG="-O1 -g" -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g"
	cmake --build $(ASAN_BUILD) -j $(JOBS)

# Only what the demo needs: the program and the demo medium with its modules.
demo-build:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS) --target demo

# The whole suite on both builds, the plain one and the sanitizer one, so
# that a fault only one of them shows cannot hide (both run even when the
# first fails); then the fuzzing.
check: deps
	@$(MAKE) --no-print-directory build
	@$(MAKE) --no-print-directory asan-build
	@status=0; for dir in $(BUILD) $(ASAN_BUILD); do \
	  echo "check: the test suite on $$dir"; \
	  (cd $$dir && ctest --output-on-failure -j $(JOBS)) || status=1; \
	done; exit $$status
	$(MAKE) --no-print-directory fuzz-run FUZZ_SECONDS=$(CHECK_FUZZ_SECONDS)

demo: deps demo-build
	@bash examples/demo.sh $(BUILD)

# The wizard on the demo medium, on $DISPLAY (HOME and the destination in a
# scratch folder). Quitting the wizard is an answer, not a failure.
demo-gui: deps demo-build
	@bash examples/demo-gui.sh $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)

# Benchmarks: build/bench/<name> (see bench/)
.PHONY: bench
bench: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_BENCH=ON
	cmake --build $(BUILD) -j $(JOBS)

# Fuzzing (libFuzzer, clang): every tests/fuzz/<name>_fuzz.cpp runs for
# FUZZ_SECONDS from its seed corpus tests/fuzz/corpus/<name>/; new inputs and
# any crash, leak or timeout input are kept under $(FUZZ_BUILD)/.
fuzz: deps fuzz-run

fuzz-build:
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQV_FUZZ=ON -DQV_TESTS=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_targets

fuzz-run: fuzz-build
	@set -e; for target in $(FUZZ_BUILD)/fuzz/*_fuzz; do \
	  name=$$(basename $$target _fuzz); \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$name $(FUZZ_BUILD)/artifacts/$$name; \
	  dict=tests/fuzz/$$name.dict; [ -f $$dict ] && dictopt=-dict=$$dict || dictopt=; \
	  echo "fuzz: $$name for $(FUZZ_SECONDS) s"; \
	  $$target -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
	    -close_fd_mask=3 -print_final_stats=1 $$dictopt \
	    -artifact_prefix=$(FUZZ_BUILD)/artifacts/$$name/ \
	    $(FUZZ_BUILD)/corpus/$$name tests/fuzz/corpus/$$name; \
	done
