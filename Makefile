# Two entry points for a fresh Debian machine:
#   make run   installs what is missing, builds the program and starts it
#   make test  installs what is missing, builds CMake's default configuration (fault seam off)
#              to prove it still compiles, builds with sanitizers, runs every fuzz target for
#              FUZZ_SECONDS (10) on its seed corpus, then every test (the layer test among them)
# The long variants of the reliability proofs (docs/reliability.md):
#   make reliability-long   more crash moments, more rsync seeds, 100 MB bad inputs
#   make fuzz-long          every fuzz target for 10 minutes
BUILD      ?= build
TEST_BUILD ?= build-test
DEFAULT_BUILD ?= build-default
JOBS       ?= $(shell nproc)

.PHONY: all deps build run test test-build default-build fuzz fuzz-long reliability-long clean

all: build

deps:
	./scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORA_TESTS=OFF
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./scripts/run.sh $(BUILD)

test-build: deps
	cmake -S . -B $(TEST_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	    -DVELMORA_SANITIZE=ON -DVELMORA_FAULT_INJECTION=ON
	cmake --build $(TEST_BUILD) -j $(JOBS)

# What `cmake -S . -B build && cmake --build build` gives someone who sets no option: tests on,
# fault seam off. Only built, so that a test needing the seam cannot slip outside its guard.
default-build: deps
	cmake -S . -B $(DEFAULT_BUILD) -G Ninja
	cmake --build $(DEFAULT_BUILD) -j $(JOBS)

FUZZ_SECONDS ?= 10

# The fuzz targets run first, so that CTest's count of the tests is the last thing said.
test: default-build test-build
	$(MAKE) fuzz
	cd $(TEST_BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 600

fuzz: deps
	$(MAKE) -C fuzz -j $(JOBS) run FUZZ_SECONDS=$(FUZZ_SECONDS)

fuzz-long:
	$(MAKE) fuzz FUZZ_SECONDS=600

# The reliability test program with its long settings: 40 crash moments, power cuts at every
# moment of each recorded run, 200 rsync rounds for each of five seeds, and damaged files of
# 100 MB.
reliability-long: test-build
	cd $(TEST_BUILD) && VELMORA_CRASH_MOMENTS=40 VELMORA_BAD_INPUT_MB=100 VELMORA_POWER_CUT_POINTS=0 \
	    QT_QPA_PLATFORM=offscreen ./tests/reliability_tests
	cd $(TEST_BUILD) && for seed in 1 2 3 4 5; do \
	    VELMORA_RSYNC_SEED=$$seed VELMORA_RSYNC_ROUNDS=200 \
	    ./tests/reliability_tests --gtest_filter='RandomRsyncTest.*' || exit 1; done

clean:
	rm -rf $(BUILD) $(TEST_BUILD) $(DEFAULT_BUILD) fuzz/build
