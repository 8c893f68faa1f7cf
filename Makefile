# Thin wrapper over CMake. `make run` and `make test` are the two commands
# that the README gives; the others are for development.
BUILD      ?= build
SANBUILD   ?= build-san
FUZZBUILD  ?= build-fuzz
TSANBUILD  ?= build-tsan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
# Tests run two more at once than there are cores: the network's process
# tests spend most of their time waiting out the network's limits, not on
# a core.
TESTJOBS   ?= $(shell expr $(JOBS) + 2)
FUZZ_SECONDS ?= 5
ARGS       ?=
NODE       ?=
RUNDIR     := $(BUILD)/run$(if $(NODE),-$(NODE))

.PHONY: all deps configure build build-game run test test-main test-san test-tsan fuzz fuzz-build bench clean

all: build

deps:
	@scripts/install-deps

# `configure` sets the build directory up once for every target; `build`
# builds everything (the tests, benchmarks and tools too), `build-game` only
# what `make run` runs: the program and mkdata, with the engine library.
configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: configure
	cmake --build $(BUILD) -j $(JOBS)

build-game: configure
	cmake --build $(BUILD) -j $(JOBS) --target quorvex mkdata

# The run directory holds the demo world, the generated data and everything
# the program writes (logs, configuration rewrites), so tracked files stay
# untouched. Files changed there since they were copied are kept.
# NODE=k (1..8) runs machine k of a network game on this one: its own run
# directory, whose configuration (written when it has none) starts in the
# multiplayer menus as "Player k", at the address 127.0.0.k.
run: build-game
	@if [ -n "$(NODE)" ] && [ ! -f $(RUNDIR)/quorvex.cfg ]; then \
	    mkdir -p $(RUNDIR) && sed -e 's/^\( *SetEntryPoint *\).*/\1MULTI/' \
	        -e 's/^\( *SetStartCategory *\).*/\1MULTI/' -e 's/^\( *SetStartScenario *\).*/\1"DUEL"/' \
	        -e 's/^\( *SetPlayerName *\).*/\1"Player $(NODE)"/' \
	        -e 's/^\( *SetZephnetServer *\).*/\1"127.0.0.100"/' \
	        -e 's/^\( *EnableDiagnostics.*\)/\1\n    EnableSetup      1/' data/demo/quorvex.cfg > $(RUNDIR)/quorvex.cfg; \
	fi
	mkdir -p $(RUNDIR)
	cp -ru data/demo/. $(RUNDIR)/
	$(BUILD)/tools/mkdata/mkdata demo $(RUNDIR)
	cd $(RUNDIR) && $(if $(NODE),QUORVEX_NETADDRESS=127.0.0.$(NODE)) ../quorvex $(ARGS)

# Each stage in turn, its time printed at the end (also when one fails).
STAGES := test-main test-san test-tsan fuzz
test:
	@set -e; start=$$(date +%s); times=""; \
	report() { printf "$$times"; echo "make test: $$(( $$(date +%s) - start )) s in all"; }; \
	for stage in $(STAGES); do \
	    t0=$$(date +%s); \
	    if ! $(MAKE) --no-print-directory $$stage; then \
	        times="$$times  $$stage: $$(( $$(date +%s) - t0 )) s (failed)\n"; report; exit 1; \
	    fi; \
	    times="$$times  $$stage: $$(( $$(date +%s) - t0 )) s\n"; \
	done; \
	echo "make test stage times:"; report

test-main: build
	cd $(BUILD) && ctest --output-on-failure -j $(TESTJOBS)

# The in-process tests, and one test of each other kind (labelled `san`).
test-san: deps
	cmake -S . -B $(SANBUILD) -DCMAKE_BUILD_TYPE=Debug -DQV_SANITIZE=ON
	cmake --build $(SANBUILD) -j $(JOBS)
	cd $(SANBUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    ctest --output-on-failure -j $(TESTJOBS) -L '^(unit|san)$$'

# The network's threads under ThreadSanitizer: a build of only core, the
# thread stand-ins and the network with their tests and peer runs.
test-tsan: deps
	cmake -S tests/net/tsan -B $(TSANBUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(TSANBUILD) -j $(JOBS)
	cd $(TSANBUILD) && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -j $(JOBS)

fuzz-build: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZBUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQV_FUZZ=ON
	cmake --build $(FUZZBUILD) -j $(JOBS)

# Each fuzz target for FUZZ_SECONDS on its seed corpus copied into the build
# tree (the fuzzer adds what it finds there, not to the tracked seeds); the
# targets run side by side, JOBS at a time, each output in its own log, shown
# when it fails.
fuzz: fuzz-build
	@for t in $(FUZZBUILD)/fuzz/fuzz_*; do \
	    [ -x "$$t" ] || continue; name=$$(basename $$t); \
	    mkdir -p $(FUZZBUILD)/corpus/$$name; \
	    if [ -d fuzz/corpus/$$name ]; then cp -r fuzz/corpus/$$name/. $(FUZZBUILD)/corpus/$$name/; fi; \
	    $(FUZZBUILD)/tools/mkdata/mkdata seeds $$name $(FUZZBUILD)/corpus/$$name || exit 1; \
	done
	@echo "fuzz: every target for $(FUZZ_SECONDS) s, $(JOBS) at a time"
	@ls $(FUZZBUILD)/fuzz/ | grep '^fuzz_' | while read name; do \
	    [ -x $(FUZZBUILD)/fuzz/$$name ] && echo $$name; done | \
	xargs -P $(JOBS) -I{} sh -c '\
	    $(FUZZBUILD)/fuzz/{} -max_total_time=$(FUZZ_SECONDS) -artifact_prefix=$(FUZZBUILD)/{}- \
	        -close_fd_mask=3 -print_final_stats=0 $(FUZZBUILD)/corpus/{} > $(FUZZBUILD)/{}.log 2>&1 \
	    && echo "fuzz: {} ok" \
	    || { echo "fuzz: {} failed:"; tail -n 60 $(FUZZBUILD)/{}.log; exit 255; }'

bench: build
	$(BUILD)/bench/qvbench

clean:
	rm -rf $(BUILD) $(SANBUILD) $(FUZZBUILD) $(TSANBUILD)
