# The two everyday commands: `make run` and `make test`. A bare `make` lists
# every target.
.PHONY: help deps deps-build deps-test deps-windows deps-package build app run package package-check test test-release test-asan test-tsan check-format check-tidy test-windows dist-windows bench fuzz screenshot clean
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
	@echo "make package     the commit's Debian source package and, built from it, ./delvora-convert_VERSION_ARCH.deb and ./delvora_VERSION_ARCH.deb"
	@echo "make package-check  a clean-chroot build, lintian, piuparts (install, upgrade, purge) and two clones compared (root, network, ~35 min)"
	@echo "make bench       throughput and start-up measurements"
	@echo "make fuzz        differential fuzzing of the engine and --check (FUZZ_SECONDS=$(FUZZ_SECONDS), CHECK_FILES=$(CHECK_FILES))"
	@echo "make screenshot  write docs/screenshot*.png (skinned and plain, Linux and Windows) from real windows under Xvfb"
	@echo "make deps        install the Debian packages every target needs (each target installs its own)"
	@echo "make clean       remove build/"

# Each target installs the Debian packages it needs, and only those
# (scripts/install-deps names the groups).
deps:
	@bash scripts/install-deps build test package windows
deps-build:
	@bash scripts/install-deps build
# The package tests make packages with debian/'s own steps.
deps-test:
	@bash scripts/install-deps build test package
deps-windows:
	@bash scripts/install-deps build windows
deps-package:
	@bash scripts/install-deps build package

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

# The commit's source package (scripts/debian-source) and both packages with
# their -dbgsym, built from it by dpkg-buildpackage as Debian builds them,
# in build/debian/; the two packages are copied here. Only committed files
# go in. DEB_BUILD_OPTIONS=nocheck leaves the tests out.
package: deps-package
	@rm -rf build/debian delvora_*.deb delvora-convert_*.deb
	@version=$$(bash scripts/debian-source build/debian) && \
	  cd build/debian/delvora-$${version%-*} && \
	  { dpkg-buildpackage -us -uc -J$(JOBS) >../build.log 2>&1 || { tail -40 ../build.log; exit 1; }; } && \
	  cd ../../.. && cp build/debian/delvora-convert_$${version}_*.deb build/debian/delvora_$${version}_*.deb . && \
	  echo "Made $$(ls delvora-convert_*.deb) (the converter alone) and $$(ls delvora_*.deb) (the window)," && \
	  echo "and the source package and -dbgsym packages in build/debian/." && \
	  echo "Install both with: sudo apt install ./$$(ls delvora-convert_*.deb) ./$$(ls delvora_*.deb)"

# Not part of make test: it takes over half an hour (README: Packaging).
package-check:
	@bash scripts/install-deps build package package-check
	@JOBS=$(JOBS) bash scripts/package-check.sh

test-release: build
	@cd build/release && ctest --output-on-failure -j $(JOBS)

test-asan: deps-test
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan -j $(JOBS)
	@# The folder picker driven by real keys runs once, in the Release phase:
	@# it tries the timings users meet, which the sanitizers' slowdown bends.
	@cd build/asan && ctest --output-on-failure -j $(JOBS) -E '^window_picker_keys$$'

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
