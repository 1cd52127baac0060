# The two commands of the README, and a few more for developers.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build test run bench sanitize fuzz screenshots install package clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DROWSMITH_WERROR=ON $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# Starts the program in the current directory, where it keeps db.ini.
run: build
	$(BUILD)/rowsmith

# Address and undefined-behaviour sanitizers over the whole test suite.
sanitize: deps
	cmake -S . -B build-sanitize -DROWSMITH_WERROR=ON -DROWSMITH_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
	cmake --build build-sanitize -j $(JOBS)
	ctest --test-dir build-sanitize --output-on-failure -j $(JOBS)

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DROWSMITH_BENCH=ON -DROWSMITH_TESTS=OFF -DROWSMITH_GUI=OFF
	cmake --build build-bench -j $(JOBS)
	build-bench/bench/rowsmith_bench
	bench/compare.sh build-bench

# Pictures of the main window and the About box for docs/, under a virtual display.
screenshots: build
	cmake --build $(BUILD) --target take_screenshots
	d=$$(mktemp -d) && (cd $$d && xvfb-run -a $(CURDIR)/$(BUILD)/take_screenshots $(CURDIR)/docs); \
	  status=$$?; rm -rf $$d; exit $$status

install: build
	cmake --install $(BUILD) $(if $(PREFIX),--prefix $(PREFIX))

package: build
	cd $(BUILD) && cpack

clean:
	rm -rf $(BUILD) build-sanitize build-bench
