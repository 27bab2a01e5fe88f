# Two entry points: `make demo` runs the quick start, `make test` runs every test.
# Each sets up what a fresh machine lacks (Debian packages, .venv, editable install).
SHELL := /bin/bash
VENV  := .venv
PY    := $(VENV)/bin/python
BUILD := build/py
STAMP := $(VENV)/.deps-stamp
CMAKE_TESTS ?= ON

.PHONY: demo test setup deps install cpp-test py-test bench clean asan fuzz-smoke

demo: install
	$(PY) examples/quickstart.py

test: install cpp-test py-test

deps:
	@tools/install-deps

$(PY):
	$$(tools/find-python) -m venv $(VENV)

$(STAMP): $(PY) pyproject.toml
	$(PY) -m pip install -q --upgrade pip
	$(PY) -m pip install -q "scikit-build-core>=0.10" cmake ninja "pydantic>=2" pytest hypothesis minijinja jinja2 mypy
	touch $(STAMP)

setup: deps $(STAMP)

# Editable install; the build tree is kept in $(BUILD) so re-runs are incremental.
install: setup
	$(PY) -m pip install -q --no-build-isolation --no-deps \
	  --config-settings=build-dir=$(BUILD) \
	  --config-settings=cmake.define.QUORLEN_BUILD_TESTS=$(CMAKE_TESTS) \
	  -e .

cpp-test:
	$(VENV)/bin/ctest --test-dir $(BUILD) --output-on-failure -j2

py-test:
	$(PY) -m pytest -q tests

# C++ micro-benchmarks (when Google Benchmark is installed), then the Python comparison.
bench: install
	@if grep -q jinja_bench $(BUILD)/build.ninja 2>/dev/null; then \
	  $(VENV)/bin/ninja -C $(BUILD) jinja_bench kernel_bench readers_bench && \
	  for b in jinja_bench kernel_bench readers_bench; do $(BUILD)/bench/$$b --benchmark_min_time=0.2s; done; \
	else echo "bench: Google Benchmark not installed (libbenchmark-dev); C++ benchmarks skipped"; fi
	$(PY) bench/run.py

clean:
	rm -rf build dist $(VENV) *.egg-info
