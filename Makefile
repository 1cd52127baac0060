# The two commands of the README, and a few more for developers.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps build test run bench sanitize fuzz screenshots install package format format-check clean

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
	bench/load.sh build-bench

# libFuzzer over the row conversion, the settings reader, the text reader and the CSV reader,
# FUZZ_SECONDS each; new inputs go to build-fuzz/corpus, seeds stay in fuzz/corpus.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = convert_row settings text_reader csv_reader run settings_save command_line
fuzz: deps
	cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DROWSMITH_FUZZ=ON -DROWSMITH_GUI=OFF \
	  -DROWSMITH_TESTS=OFF -DROWSMITH_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build-fuzz -j $(JOBS) $(addprefix --target fuzz_,$(FUZZ_TARGETS))
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p build-fuzz/corpus/$$t && \
	  echo "== fuzz_$$t for $(FUZZ_SECONDS) s" && \
	  build-fuzz/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=$(CURDIR)/build-fuzz/ $(CURDIR)/build-fuzz/corpus/$$t $(CURDIR)/fuzz/corpus/$$t \
	    2> build-fuzz/fuzz_$$t.log; \
	  status=$$?; grep -E '^#[0-9]+.*DONE|stat::number_of_executed_units|stat::peak_rss' build-fuzz/fuzz_$$t.log; \
	  if [ $$status -ne 0 ]; then tail -40 build-fuzz/fuzz_$$t.log; exit $$status; fi; \
	done

# Pictures of the main window and the About box for docs/, under a virtual display.
screenshots: build
	cmake --build $(BUILD) --target take_screenshots
	d=$$(mktemp -d) && (cd $$d && xvfb-run -a $(CURDIR)/$(BUILD)/take_screenshots $(CURDIR)/docs); \
	  status=$$?; rm -rf $$d; exit $$status

install: build
	cmake --install $(BUILD) $(if $(PREFIX),--prefix $(PREFIX))

# A .deb from a Release build of its own, stripped, with Debian's hardening.
package: deps
	cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DROWSMITH_TESTS=OFF -DROWSMITH_PACKAGING=ON \
	  -DCMAKE_INSTALL_PREFIX=/usr
	cmake --build build-package -j $(JOBS)
	cd build-package && cpack

# The code layout of .clang-format: format rewrites, format-check only looks.
FORMAT_FILES = $(shell git ls-files '*.cpp' '*.h')
format: deps
	clang-format -i $(FORMAT_FILES)
format-check: deps
	clang-format --dry-run --Werror $(FORMAT_FILES)

clean:
	rm -rf $(BUILD) build-sanitize build-bench build-fuzz build-package
