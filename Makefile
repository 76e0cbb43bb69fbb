# make test: install what is missing, build, run every test.
# make demo: install what is missing, build, play the bundled demo game.
BUILD ?= build
JOBS ?= $(shell nproc)

.PHONY: all deps configure build test test-asan fuzz demo clean

all: build

deps:
	@bash scripts/install-deps

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The whole suite under ASan + UBSan, in its own build folder.
ASAN_BUILD ?= build-asan
# Leaks are suppressed only inside the system libraries that scripts/lsan.supp names.
# Line tables (-g1) give the sanitizers' stack traces their lines and build a
# quarter faster than full debug information.
SANITIZER_ENV = ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1 \
	UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0
test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -DVORQ_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	@cd $(ASAN_BUILD) && $(SANITIZER_ENV) ctest --output-on-failure -j $(JOBS)

# Every libFuzzer target, built with clang in its own folder, run over its
# seed corpus and kept findings for FUZZ_SECONDS each (or, when FUZZ_RUNS
# is given, for that many inputs), FUZZ_JOBS targets at once.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 30
FUZZ_RUNS ?=
FUZZ_JOBS ?= $(JOBS)
fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DVORQ_FUZZ=ON >/dev/null
	@cmake --build $(FUZZ_BUILD) --target fuzz_all -j $(JOBS)
	@FUZZ_SECONDS=$(FUZZ_SECONDS) FUZZ_RUNS=$(FUZZ_RUNS) FUZZ_JOBS=$(FUZZ_JOBS) bash scripts/run-fuzz $(FUZZ_BUILD)

demo: build
	@$(BUILD)/vorqplayer $(BUILD)/demo

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
