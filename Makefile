# The two everyday commands: `make run` and `make test`.
.PHONY: deps build run test test-release test-asan bench fuzz screenshot clean

JOBS ?= $(shell nproc 2>/dev/null || echo 2)
FUZZ_SECONDS ?= 60

deps:
	@bash scripts/install-deps

build: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	  echo "No display here; for headless conversion use build/release/bin/delvora-convert --help"; \
	else \
	  build/release/bin/delvora; \
	fi

test-release: build
	@cd build/release && ctest --output-on-failure -j $(JOBS)

test-asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build --preset asan -j $(JOBS)
	@cd build/asan && ctest --output-on-failure -j $(JOBS)

test: test-release test-asan

bench: build
	@bash bench/run.sh

fuzz: deps
	@cmake --preset fuzz >/dev/null
	@cmake --build --preset fuzz -j $(JOBS) --target engine_fuzzer
	@build/fuzz/bin/engine_fuzzer -max_total_time=$(FUZZ_SECONDS) fuzz/corpus

screenshot: build
	@bash scripts/screenshot.sh

clean:
	rm -rf build
