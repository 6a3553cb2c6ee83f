# The two everyday commands: `make run` and `make test`. A bare `make` lists
# every target.
.PHONY: help deps deps-build deps-test deps-windows build app run package package-check test test-release test-asan test-tsan check-format check-tidy test-windows dist-windows bench fuzz screenshot clean
.DEFAULT_GOAL := help

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 60
CHECK_FILES ?= 40000

help:
	@echo "make run         build the window and delvora-convert only, then start the window"
	@echo "make test        the format and clang-tidy gates, every test, again under ASan+UBSan, the threaded ones under TSan, then for Windows under Wine"
	@echo "make check-format  fail on a C++ file that differs from .clang-format (prints the fix)"
	@echo "make check-tidy  clang-tidy over the core with .clang-tidy's checks"
	@echo "make test-tsan   the threaded engine and converter tests under ThreadSanitizer"
	@echo "make test-windows  cross-build for Windows (MinGW-w64) and run every test under Wine"
	@echo "make dist-windows  build/windows/Delvora-VERSION-windows-x64.zip"
	@echo "make package     build the Debian packages ./delvora-convert_VERSION_ARCH.deb and ./delvora_VERSION_ARCH.deb"
	@echo "make package-check  make package, then piuparts on both packages in a clean Debian system (root, network)"
	@echo "make bench       throughput and start-up measurements"
	@echo "make fuzz        differential fuzzing of the engine and --check (FUZZ_SECONDS=$(FUZZ_SECONDS), CHECK_FILES=$(CHECK_FILES))"
	@echo "make screenshot  write docs/screenshot*.png (skinned and plain, Linux and Windows) from real windows under Xvfb"
	@echo "make deps        install the Debian packages every target needs (each target installs its own)"
	@echo "make clean       remove build/"

# Each target installs the Debian packages it needs, and only those
# (scripts/install-deps names the groups).
deps:
	@bash scripts/install-deps build test windows
deps-build:
	@bash scripts/install-deps build
deps-test:
	@bash scripts/install-deps build test
deps-windows:
	@bash scripts/install-deps build windows

build: deps-test
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS)

# The two programs alone: no tests, no benchmarks.
app: deps-build
	@cmake --preset app >/dev/null
	@cmake --build --preset app -j $(JOBS)

run: app
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "No display here; for headless conversion use build/app/bin/delvora-convert --help"; \
	else \
	  build/app/bin/delvora; \
	fi

# Dated by the last commit (cmake/install.cmake): two runs on one commit
# make the same files.
package: app
	@rm -f build/app/delvora*.deb delvora_*.deb delvora-convert_*.deb
	@cd build/app && cpack -G DEB >/dev/null 2>cpack.log || { cat cpack.log; exit 1; }
	@cp build/app/delvora_*.deb build/app/delvora-convert_*.deb .
	@echo "Made $$(ls delvora-convert_*.deb) (the converter alone) and $$(ls delvora_*.deb) (the window)."
	@echo "Install both with: sudo apt install ./$$(ls delvora-convert_*.deb) ./$$(ls delvora_*.deb)"

package-check: package
	@bash scripts/install-deps package-check
	@bash scripts/package-check.sh delvora-convert_*.deb delvora_*.deb

test-release: build
	@cd build/release && ctest --output-on-failure -j $(JOBS)

test-asan: deps-test
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan -j $(JOBS)
	@cd build/asan && ctest --output-on-failure -j $(JOBS)

# The gates: the layout of every C++ file, clang-tidy over the core, and
# ThreadSanitizer over the executables whose tests run threads (the engine's
# write-behind and check, delvora-convert's scheduler).
check-format: deps-test
	@bash scripts/check-format

check-tidy: deps-test
	@JOBS=$(JOBS) bash scripts/check-tidy

test-tsan: deps-test
	@cmake --preset tsan >/dev/null
	@cmake --build --preset tsan -j $(JOBS) --target engine_tests convert_cli_tests
	@ctest --preset tsan -j $(JOBS)

# Each phase's time is printed at the end; the quick gates come first.
test: deps
	@MAKE="$(MAKE)" bash scripts/phases.sh \
	  "Format" check-format \
	  "clang-tidy (core)" check-tidy \
	  "Linux (Release)" test-release \
	  "Linux (ASan+UBSan)" test-asan \
	  "ThreadSanitizer" test-tsan \
	  "Windows (MinGW-w64, Wine)" test-windows

# Cross-built with MinGW-w64; Qt for Windows is built once per machine.
test-windows: deps
	@JOBS=$(JOBS) bash scripts/test-windows.sh

dist-windows: deps-windows
	@bash scripts/dist-windows.sh

bench: build
	@bash bench/run.sh

fuzz: deps-test
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS) --target engine_fuzzer
	@build/fuzz/bin/engine_fuzzer -max_total_time=$(FUZZ_SECONDS) fuzz/corpus
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS) --target delvora-convert
	@python3 tests/cli/check_model.py build/release/bin/delvora-convert $(CHECK_FILES) $$(date +%s)

screenshot: deps build
	@bash scripts/screenshot.sh
	@bash scripts/screenshot-windows.sh

clean:
	rm -rf build
