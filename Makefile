# Thin wrapper over CMake: installs what is missing, configures, builds, then runs.
BUILD ?= build
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
JOBS ?= $(shell nproc)

.PHONY: all deps configure build test test-asan run bench clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

run: build
	@bash scripts/run-demo.sh $(BUILD)

bench: build
	@bash scripts/run-bench.sh $(BUILD)

clean:
	rm -rf $(BUILD)

# The engine's hostile-file and round-trip tests again under AddressSanitizer and UBSan.
ASAN_BUILD ?= build-asan
ASAN_TESTS = tst_pxhostile tst_pxroundtrip tst_pxsamples
test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	    -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined" \
	    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS) --target $(ASAN_TESTS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=max_allocation_size_mb=64:detect_leaks=1 QT_QPA_PLATFORM=offscreen \
	    ctest --output-on-failure -R '^($(shell echo $(ASAN_TESTS) | tr ' ' '|'))$$'
