# Thin wrapper over CMake. `make run` and `make test` are the two commands
# that the README gives; the others are for development.
BUILD      ?= build
SANBUILD   ?= build-san
FUZZBUILD  ?= build-fuzz
TSANBUILD  ?= build-tsan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 10
ARGS       ?=
RUNDIR     := $(BUILD)/run

.PHONY: all deps build run test test-main test-san test-tsan fuzz fuzz-build bench clean

all: build

deps:
	@scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

# The run directory holds the demo world, the generated data and everything
# the program writes (logs, configuration rewrites), so tracked files stay
# untouched. Files changed there since they were copied are kept.
run: build
	mkdir -p $(RUNDIR)
	cp -ru data/demo/. $(RUNDIR)/
	$(BUILD)/tools/mkdata/mkdata demo $(RUNDIR)
	cd $(RUNDIR) && ../quorvex $(ARGS)

test: test-main test-san test-tsan fuzz

test-main: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-san: deps
	cmake -S . -B $(SANBUILD) -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=ON
	cmake --build $(SANBUILD) -j $(JOBS)
	cd $(SANBUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

# The network's threads under ThreadSanitizer: a build of only core, the
# thread stand-ins and the network with their tests and peer runs.
test-tsan: deps
	cmake -S tests/net/tsan -B $(TSANBUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(TSANBUILD) -j $(JOBS)
	cd $(TSANBUILD) && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS)

fuzz-build: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZBUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_FUZZ=ON
	cmake --build $(FUZZBUILD) -j $(JOBS)

# Each fuzz target for a bounded time, on its seed corpus copied into the build
# tree (the fuzzer adds what it finds there, not to the tracked seeds).
fuzz: fuzz-build
	@set -e; for t in $(FUZZBUILD)/fuzz/fuzz_*; do \
	    [ -x "$$t" ] || continue; name=$$(basename $$t); \
	    mkdir -p $(FUZZBUILD)/corpus/$$name; \
	    if [ -d fuzz/corpus/$$name ]; then cp -r fuzz/corpus/$$name/. $(FUZZBUILD)/corpus/$$name/; fi; \
	    $(FUZZBUILD)/tools/mkdata/mkdata seeds $$name $(FUZZBUILD)/corpus/$$name; \
	    echo "fuzz: $$name for $(FUZZ_SECONDS) s"; \
	    $$t -max_total_time=$(FUZZ_SECONDS) -artifact_prefix=$(FUZZBUILD)/$$name- -close_fd_mask=3 -print_final_stats=0 \
	        $(FUZZBUILD)/corpus/$$name || exit 1; \
	done

bench: build
	$(BUILD)/bench/qvbench

clean:
	rm -rf $(BUILD) $(SANBUILD) $(FUZZBUILD) $(TSANBUILD)
