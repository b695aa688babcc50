# The front door: `make demo` and `make test` are all a fresh Debian machine needs.
BUILD      ?= build
ASAN_BUILD ?= build-sanitize
BENCH_BUILD ?= build-bench
FUZZ_BUILD ?= build-fuzz
STATIC_BUILD ?= build-static
PREFIX     ?= /usr/local
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
PACKAGES   := cmake ninja-build g++ libgtest-dev libbenchmark-dev libncurses-dev \
              groff-base dpkg-dev bash-completion \
              libtomlplusplus-dev nlohmann-json3-dev libxml2-utils python3
FUZZ_PACKAGES := clang libclang-rt-dev

.PHONY: all build deps test demo programs install uninstall package static bench sanitize \
        fuzz-regex clean

all: build

# Installs the Debian packages that are missing, when we are root with apt-get.
deps:
	@missing=""; for p in $(PACKAGES) $(EXTRA_PACKAGES); do \
	  dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" = 0 ] && command -v apt-get >/dev/null; then \
	    echo "installing:$$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $$missing; \
	  else echo "please install:$$missing"; exit 1; fi; fi

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

# The demo needs the program only, not the tests.
demo: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target ostrel
	@bash examples/demo.sh $(BUILD)/ostrel

# The programs with their completions, which is all that is installed.
programs: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target programs

# The list of installed files lands in $(BUILD)/install_manifest.txt.
install: programs
	cmake --install $(BUILD) --prefix $(PREFIX)

uninstall:
	@if [ ! -f $(BUILD)/install_manifest.txt ]; then \
	  echo "nothing to uninstall: no $(BUILD)/install_manifest.txt"; exit 1; fi
	xargs -d '\n' rm -f < $(BUILD)/install_manifest.txt

# $(BUILD)/ostrel_<version>_<arch>.deb
package: programs
	cd $(BUILD) && cpack -G DEB

# A program that needs nothing at run time but the C library.
static: deps
	cmake -S . -B $(STATIC_BUILD) -G Ninja -DOSTREL_STATIC=ON -DOSTREL_TESTS=OFF
	cmake --build $(STATIC_BUILD) -j $(JOBS) --target programs
	@echo "static program: $(STATIC_BUILD)/ostrel"

sanitize: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DOSTREL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

bench: deps
	cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DOSTREL_BENCH=ON \
	  -DOSTREL_TESTS=OFF -DOSTREL_CHECK_ERRORS=OFF
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	@bash bench/run.sh $(BENCH_BUILD)

fuzz-regex:
	$(MAKE) deps EXTRA_PACKAGES="$(FUZZ_PACKAGES)"
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DOSTREL_FUZZ=ON -DOSTREL_TESTS=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target regex_fuzz
	mkdir -p $(FUZZ_BUILD)/corpus-regex
	$(FUZZ_BUILD)/support/regex/regex_fuzz -artifact_prefix=$(FUZZ_BUILD)/ $(FUZZ_BUILD)/corpus-regex -max_total_time=$${FUZZ_SECONDS:-600}

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD) $(STATIC_BUILD)
