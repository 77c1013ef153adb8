# The two commands of the README:
#   make run   installs what is missing, builds, and starts the program on the simulated board
#   make test  installs what is missing, builds, and runs every test: the suite, the suite again
#              under AddressSanitizer and UndefinedBehaviorSanitizer, the run-host tests under
#              ThreadSanitizer, and every fuzz target for a fixed number of runs, after checking that
#              every source file is in the house format
BUILD ?= build
JOBS ?= $(shell nproc)
FUZZ_RUNS ?= 20000
CTEST = ctest --output-on-failure -j $(JOBS) --timeout 300
# A fresh clone in another folder still finds what an earlier build put in the compiler cache.
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1

.PHONY: run test build deps bench clean package suite sanitize tsan fuzz format

deps:
	@./scripts/install-deps.sh

build: deps
	@cmake --preset plain -B $(BUILD) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@./scripts/run-simulated.sh $(BUILD)

test: format suite sanitize tsan fuzz

# The house format (.clang-format); scripts/check-format.sh --fix applies it.
format: deps
	@./scripts/check-format.sh

suite: build
	@cd $(BUILD) && $(CTEST)

# The whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer (the package test
# is left to the plain build).
sanitize: deps
	@cmake --preset asan -B $(BUILD)-asan >/dev/null
	@cmake --build $(BUILD)-asan -j $(JOBS)
	@cd $(BUILD)-asan && ASAN_OPTIONS=detect_leaks=1 $(CTEST) -E PackageInstalls

# The threads of the script run host under ThreadSanitizer, and the window's logic, which builds
# and runs without the window.
tsan: deps
	@cmake --preset tsan -B $(BUILD)-tsan >/dev/null
	@cmake --build $(BUILD)-tsan -j $(JOBS) --target script_tests link_tests app_logic_tests
	@for t in script/script_tests link/link_tests app_logic/app_logic_tests; do \
	  TR805Q_TEST_DATA=$(CURDIR)/tests/data TSAN_OPTIONS=halt_on_error=1 \
	    $(BUILD)-tsan/tests/$$t --gtest_brief=1 || exit 1; done

# Every fuzz target, with clang's libFuzzer, under AddressSanitizer and UndefinedBehaviorSanitizer.
fuzz: deps
	@cmake --preset fuzz -B $(BUILD)-fuzz >/dev/null
	@cmake --build $(BUILD)-fuzz -j $(JOBS)
	@./scripts/fuzz-smoke.sh $(BUILD)-fuzz $(FUZZ_RUNS)

bench: build
	@./scripts/bench.sh $(BUILD)

# The Debian package, in the build folder.
package: build
	@cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) $(BUILD)-asan $(BUILD)-tsan $(BUILD)-fuzz
