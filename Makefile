# Entry points for a fresh Debian 12 machine: `make demo` and `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 600
FUZZ_TARGETS := decoder convert bmp-loader status address
JOBS       ?= $(shell nproc)
CMAKE_GEN  := -G Ninja

.PHONY: all deps build build-asan test test-plain test-asan demo bench fuzz clean

all: build

deps:
	@scripts/deps.sh

# The plain build is the Release build users make (-O3), with debug info, so a Release-only break fails the tests.
$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O3 -DNDEBUG -g" -DORVIK_WERROR=ON

$(ASAN_BUILD)/build.ninja:
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DORVIK_SANITIZE=ON -DORVIK_WERROR=ON

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)

test-plain: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-asan: build-asan
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

test: test-plain test-asan

demo: build
	@mkdir -p $(BUILD)/demo
	$(BUILD)/tools/orvik/orvik convert examples/assets/logo.png $(BUILD)/demo/logo.bmp --width 256 --replace
	$(BUILD)/tools/orvik-demo-job $(BUILD)/demo

bench: build
	@scripts/deps.sh time
	/usr/bin/python3 bench/run.py $(BUILD)

# Each target runs FUZZ_SECONDS from the shipped seeds; new inputs stay in the build folder, crashes land in
# fuzz/crashes/TARGET/, which `make test` replays.
fuzz:
	@scripts/deps.sh clang libfuzzer-14-dev
	cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DORVIK_FUZZ=ON -DORVIK_SANITIZE=ON -DORVIK_BUILD_TESTS=OFF -DORVIK_BUILD_BENCH=OFF -DORVIK_BUILD_TOOLS=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(addprefix orvik-fuzz-,$(FUZZ_TARGETS))
	@failed=0; for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$t fuzz/crashes/$$t; \
	  echo "fuzz: $$t for $(FUZZ_SECONDS) s"; \
	  ASAN_OPTIONS=detect_leaks=1 $(FUZZ_BUILD)/fuzz/orvik-fuzz-$$t -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 \
	    -artifact_prefix=fuzz/crashes/$$t/ -print_final_stats=1 $(FUZZ_BUILD)/corpus/$$t fuzz/corpus/$$t \
	    > $(FUZZ_BUILD)/fuzz-$$t.log 2>&1 || { echo "fuzz: $$t found a fault, kept in fuzz/crashes/$$t/"; failed=1; }; \
	  grep -E "^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::peak_rss_mb|SUMMARY)" $(FUZZ_BUILD)/fuzz-$$t.log; \
	done; exit $$failed

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
