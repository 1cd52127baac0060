# The two commands of the README, and a few more for developers.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps deps-run release build test run bench sanitize fuzz screenshots install package package-check format \
  format-check tidy clean

all: build

deps:
	@scripts/install-deps.sh

# What the program alone needs: a Release build of the two programs, no tests.
RELEASE ?= build-release
deps-run:
	@scripts/install-deps.sh run

release: deps-run
	cmake -S . -B $(RELEASE) -DCMAKE_BUILD_TYPE=Release -DROWSMITH_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(RELEASE) -j $(JOBS) --target rowsmith rowsmith-convert compressed_docs

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DROWSMITH_WERROR=ON $(CMAKE_FLAGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# Starts the program in the current directory, where it keeps db.ini.
run: release
	$(RELEASE)/rowsmith

# Address and undefined-behaviour sanitizers over the whole test suite.
sanitize: deps
	cmake -S . -B build-sanitize -DROWSMITH_WERROR=ON -DROWSMITH_SANITIZE=ON \
	  -DCMAKE_BUILD_TYPE=Debug
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
FUZZ_TARGETS = convert_row settings text_reader csv_reader run settings_save command_line detect
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

install: release
	cmake --install $(RELEASE) --strip $(if $(PREFIX),--prefix $(PREFIX))

# A .deb from a Release build of its own, stripped, with Debian's hardening.
package: deps
	cmake -S . -B build-package -DCMAKE_BUILD_TYPE=Release -DROWSMITH_TESTS=OFF -DROWSMITH_PACKAGING=ON \
	  -DCMAKE_INSTALL_PREFIX=/usr
	cmake --build build-package -j $(JOBS)
	cd build-package && cpack

# The .deb built apart in a temporary folder and checked as a distribution
# would (lintian, AppStream, desktop entry, man pages, install and remove).
package-check: deps
	tests/packaging/package_test.sh $(CURDIR)

# The code layout of .clang-format: format rewrites, format-check only looks.
FORMAT_FILES = $(shell git ls-files '*.cpp' '*.h')
format: deps
	clang-format -i $(FORMAT_FILES)
format-check: deps
	clang-format --dry-run --Werror $(FORMAT_FILES)

# The checks of .clang-tidy over src/, failing on any finding.
tidy: deps $(BUILD)/CMakeCache.txt
	cmake -S . -B $(BUILD) -DCMAKE_EXPORT_COMPILE_COMMANDS=ON > /dev/null
	cmake --build $(BUILD) -j $(JOBS)
	run-clang-tidy -quiet -p $(BUILD) -j $(JOBS) $(CURDIR)/src/ > $(BUILD)/tidy.log 2>&1 || { grep -E 'warning:|error:' $(BUILD)/tidy.log; exit 1; }

clean:
	rm -rf $(BUILD) $(RELEASE) build-sanitize build-bench build-fuzz build-package
