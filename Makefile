# The two commands of the README:
#   make run   installs what is missing, builds, and starts the program on the simulated board
#   make test  installs what is missing, builds, and runs every test
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: run test build deps bench clean package

deps:
	@./scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	@./scripts/run-simulated.sh $(BUILD)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) --timeout 300

bench: build
	@./scripts/bench.sh $(BUILD)

clean:
	rm -rf $(BUILD)

# The Debian package, in the build folder.
package: build
	@cd $(BUILD) && cpack -G DEB
