# The two commands of the README, and a few more for developers.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps deps-run release build test run bench sanitize sanitize-build fuzz screenshots install package \
  package-check format format-check tidy tidy-changed windows windows-test deps-windows clean

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

# Address and undefined-behaviour sanitizers over the whole test suite, in
# one clang build with the fuzz targets (make fuzz uses it too).
SANITIZE_BUILD = build-sanitize
$(SANITIZE_BUILD)/CMakeCache.txt:
	cmake -S . -B $(SANITIZE_BUILD) -DCMAKE_CXX_COMPILER=clang++ -DROWSMITH_WERROR=ON -DROWSMITH_SANITIZE=ON \
	  -DROWSMITH_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-g -O1"
sanitize-build: deps $(SANITIZE_BUILD)/CMakeCache.txt
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
sanitize: sanitize-build
	ctest --test-dir $(SANITIZE_BUILD) --output-on-failure -j $(JOBS)

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DROWSMITH_BENCH=ON -DROWSMITH_TESTS=OFF -DROWSMITH_GUI=OFF
	cmake --build build-bench -j $(JOBS)
	build-bench/bench/rowsmith_bench
	bench/compare.sh build-bench
	bench/load.sh build-bench
	bench/parts.sh build-bench
	bench/sizes.sh build-bench

# libFuzzer over the row conversion, the settings reader, the text reader,
# the CSV reader, a whole run, a settings save, the command line and
# detection, FUZZ_SECONDS each, as many at a time as JOBS; new inputs go to
# build-sanitize/corpus, seeds stay in fuzz/corpus.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = convert_row settings text_reader csv_reader run settings_save command_line detect
fuzz: sanitize-build
	scripts/fuzz.sh $(SANITIZE_BUILD) $(FUZZ_SECONDS) $(JOBS) $(FUZZ_TARGETS)

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

# rowsmith-convert.exe for 64-bit Windows, cross-built with MinGW-w64, with
# its tests, and its zip (build-windows/rowsmith-convert-*-windows-x64.zip).
WINDOWS_BUILD = build-windows
deps-windows:
	@scripts/install-deps.sh windows
$(WINDOWS_BUILD)/CMakeCache.txt:
	cmake -S . -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/windows-toolchain.cmake -DCMAKE_BUILD_TYPE=Release \
	  -DROWSMITH_GUI=OFF -DROWSMITH_WERROR=ON
windows: deps-windows $(WINDOWS_BUILD)/CMakeCache.txt
	cmake --build $(WINDOWS_BUILD) -j $(JOBS)
	cd $(WINDOWS_BUILD) && cpack
# Its tests under Wine, and a table of its outputs against the Linux build's.
windows-test: windows build
	WINEDEBUG=-all wine $(WINDOWS_BUILD)/rowsmith-convert.exe --version > /dev/null  # Wine's first start sets it up
	ctest --test-dir $(WINDOWS_BUILD) --output-on-failure -j $(JOBS)
	tests/windows/check_dlls.sh $(WINDOWS_BUILD)/rowsmith-convert.exe
	tests/windows/compare.sh $(BUILD)/rowsmith-convert $(WINDOWS_BUILD)/rowsmith-convert.exe

# The code layout of .clang-format: format rewrites, format-check only looks.
FORMAT_FILES = $(shell git ls-files '*.cpp' '*.h')
format: deps
	clang-format -i $(FORMAT_FILES)
format-check: deps
	clang-format --dry-run --Werror $(FORMAT_FILES)

# The checks of .clang-tidy over src/, failing on any finding: tidy over
# the whole tree, with the analyzer at its full depth (a nightly pass);
# tidy-changed over the files changed since TIDY_BASE (the commit that
# landed last, .ci/landed), with the analyzer in its shallow mode, for CI.
TIDY_BASE ?= $(shell cat .ci/landed 2> /dev/null)
TIDY_FILES = $(filter src/%.cpp,$(shell git diff --name-only --diff-filter=d $(TIDY_BASE) -- src/))
SHALLOW = -extra-arg=-Xclang -extra-arg=-analyzer-config -extra-arg=-Xclang -extra-arg=mode=shallow
tidy: deps $(BUILD)/CMakeCache.txt
	cmake -S . -B $(BUILD) -DCMAKE_EXPORT_COMPILE_COMMANDS=ON > /dev/null
	cmake --build $(BUILD) -j $(JOBS)
	run-clang-tidy -quiet -p $(BUILD) -j $(JOBS) $(CURDIR)/src/ > $(BUILD)/tidy.log 2>&1 || { grep -E 'warning:|error:' $(BUILD)/tidy.log; exit 1; }
tidy-changed: deps $(BUILD)/CMakeCache.txt
	cmake -S . -B $(BUILD) -DCMAKE_EXPORT_COMPILE_COMMANDS=ON > /dev/null
	cmake --build $(BUILD) -j $(JOBS)
	@echo "tidy over $(words $(TIDY_FILES)) files changed since $(TIDY_BASE)"
	$(if $(TIDY_FILES),run-clang-tidy -quiet -p $(BUILD) -j $(JOBS) $(SHALLOW) $(addprefix $(CURDIR)/,$(TIDY_FILES)) \
	  > $(BUILD)/tidy.log 2>&1 || { grep -E 'warning:|error:' $(BUILD)/tidy.log; exit 1; })

clean:
	rm -rf $(BUILD) $(RELEASE) $(SANITIZE_BUILD) $(WINDOWS_BUILD) build-bench build-package
