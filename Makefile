# The two commands of the README: `make run` and `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
SAMPLE     := $(BUILD)/sample/sample.bin
FUZZ_SECONDS ?= 60
JOBS       ?= $(shell nproc)

PACKAGES := cmake g++ ninja-build qt6-base-dev qt6-base-dev-tools libqt6test6 qt6-translations-l10n \
            libjpeg62-turbo-dev libpng-dev zlib1g-dev libssl-dev pkg-config \
            libfluidsynth-dev timgm6mb-soundfont libopencore-amrnb-dev libopencore-amrwb-dev \
            libmpg123-dev libsndfile1-dev libavcodec-dev libavformat-dev qt6-multimedia-dev \
            libgtest-dev libbenchmark-dev xvfb xauth fonts-dejavu-core \
            clang libclang-rt-14-dev clang-format time python3

.PHONY: all setup build sample run check test test-asan fuzz install deb clean

all: build

setup:
	@missing=""; \
	for p in $(PACKAGES); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  if [ "$$(id -u)" -eq 0 ]; then \
	    echo "Installing:$$missing"; \
	    apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq$$missing; \
	  else \
	    echo "Kestrix needs these Debian packages. Install them with:"; \
	    echo "  sudo apt-get install -y$$missing"; \
	    exit 1; \
	  fi; \
	fi

$(BUILD)/build.ninja: CMakeLists.txt
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release

# `make check` and `make test` build with warnings as errors (WERROR=ON); a
# plain build keeps what the build folder was configured with.
build: setup $(BUILD)/build.ninja
	$(if $(WERROR),cmake -S . -B $(BUILD) -DKESTRIX_WERROR=$(WERROR) >/dev/null)
	cmake --build $(BUILD) -j $(JOBS)

sample: build
	@mkdir -p $(dir $(SAMPLE))
	$(BUILD)/bin/kestrix-make-sample $(SAMPLE)

run: sample
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ]; then \
	  echo "Starting the window; open $(SAMPLE) with Файл / Открыть."; \
	  $(BUILD)/bin/kestrix; \
	else \
	  $(BUILD)/bin/kestrix-cli info $(SAMPLE); \
	  echo; \
	  echo "No display here. On a desktop, start the window with: $(BUILD)/bin/kestrix"; \
	  echo "or under a virtual display: xvfb-run -a $(BUILD)/bin/kestrix"; \
	fi

# A developer's quick loop: the Release tests only.
check: WERROR := ON
check: sample
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

test: WERROR := ON
test: sample
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory test-asan

# The whole suite again with AddressSanitizer and UndefinedBehaviorSanitizer; any report fails it.
test-asan: setup
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTRIX_SANITIZE=ON -DKESTRIX_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  ctest --output-on-failure -j $(JOBS)

install: build
	cmake --install $(BUILD)

# The Debian package build/kestrix_VERSION_ARCH.deb (CPack, which reads the
# programs' library dependencies with dpkg-shlibdeps and file); bench/deb_check.sh
# checks it with lintian and installs it.
DEB_PACKAGES := dpkg-dev file

deb: build
	@$(MAKE) --no-print-directory setup PACKAGES="$(DEB_PACKAGES)"
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)

# libFuzzer harnesses (clang, ASan, UBSan), FUZZ_SECONDS each, corpora kept in $(FUZZ_BUILD)/corpus.
fuzz: setup
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DKESTRIX_FUZZ=ON -DKESTRIX_TESTS=OFF -DKESTRIX_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@set -e; for fuzzer in $(FUZZ_BUILD)/bin/*_fuzzer; do \
	  name=$$(basename $$fuzzer _fuzzer); corpus=$(FUZZ_BUILD)/corpus/$$name; \
	  mkdir -p $$corpus; cp -n fuzz/corpus/$$name/* $$corpus/ 2>/dev/null || true; \
	  seeds=""; [ $$name = picture ] && [ -d ../shared/testdata ] && seeds=../shared/testdata; \
	  echo "== $$name: $(FUZZ_SECONDS) s"; \
	  QT_QPA_PLATFORM=offscreen $$fuzzer -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=4096 \
	    -artifact_prefix=$(FUZZ_BUILD)/$$name- -print_final_stats=1 $$corpus $$seeds; \
	done
