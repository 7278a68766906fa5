# Thin wrapper over CMake: installs what is missing, configures, builds, then runs.
BUILD ?= build
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
JOBS ?= $(shell nproc)

.PHONY: all deps deps-run configure configure-program build build-program test test-asan fuzz run bench package clean

all: build

# Everything the tests, benchmarks and fuzzer need; `make run` installs only what the program needs.
deps:
	@bash scripts/install-deps.sh test

deps-run:
	@bash scripts/install-deps.sh run

# The compiler cache when present: a second clone on the same machine compiles nothing again.
LAUNCHER = $(shell command -v ccache >/dev/null && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) $(LAUNCHER) -DBL_TESTS=ON -DBL_BENCH=ON >/dev/null

# The same build folder without the tests and benchmarks, whose libraries it may lack; what
# both configurations build is built once.
configure-program: deps-run
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) $(LAUNCHER) -DBL_TESTS=OFF -DBL_BENCH=OFF >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Only what `make run` starts: the program, bl-tool and the transfer-file template.
build-program: configure-program
	@cmake --build $(BUILD) -j $(JOBS) --target bl-emissao bl-tool bl_template

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

run: build-program
	@bash scripts/run-demo.sh $(BUILD)

# The Debian package, in $(BUILD): bl-emissao_VERSION_ARCH.deb.
package: build
	cd $(BUILD) && cpack -G DEB

bench: build
	@bash scripts/run-bench.sh $(BUILD)

clean:
	rm -rf $(BUILD)

# The whole test suite again under AddressSanitizer and UBSan (Debug, lightly optimised so the
# suite stays quick; ccache when present). Line tables only (-g1), which is all a sanitizer's
# report needs for file and line, and no benchmarks, which `make test` has built already: the
# pass compiles and links less.
ASAN_BUILD ?= build-asan
ASAN_FLAGS = -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined -O1
test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBL_PACKAGING=OFF -DBL_BENCH=OFF -DBL_TEAR_FULL=ON $(LAUNCHER) \
	    -DCMAKE_CXX_FLAGS="$(ASAN_FLAGS)" -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1 \
	    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=max_allocation_size_mb=512:detect_leaks=1:abort_on_error=1 \
	    LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0 \
	    UBSAN_OPTIONS=print_stacktrace=1 QT_QPA_PLATFORM=offscreen \
	    ctest --output-on-failure -j $(JOBS)

# The table fuzzer (clang's libFuzzer) for FUZZ_SECONDS, from the seed corpus the regression
# test writes.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 120
fuzz: build
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBL_FUZZ=ON \
	    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ $(LAUNCHER) \
	    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -O1 -g" \
	    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_table
	@rm -rf $(FUZZ_BUILD)/corpus && mkdir -p $(FUZZ_BUILD)/corpus
	@BL_FUZZ_CORPUS=$(abspath $(FUZZ_BUILD))/corpus $(BUILD)/tests/tst_pxfuzzcorpus >/dev/null
	cd $(FUZZ_BUILD) && ASAN_OPTIONS=max_allocation_size_mb=512:detect_leaks=0 \
	    ./fuzz/fuzz_table -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=2048 -max_len=300000 corpus
