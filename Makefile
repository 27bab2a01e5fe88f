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

# The C++ tests and the Python suites against an AddressSanitizer + UBSan build of the
# extension. The interpreter itself is not instrumented: the runtime is preloaded, Python's
# allocator is bypassed so ASan sees every block, and leak reports (the interpreter's own
# at exit) are off. Python runs without `site` so the editable install's import hook cannot
# pick the uninstrumented module; the packages come in through PYTHONPATH instead.
ASAN_BUILD := build/asan
ASAN_RT = $$(gcc -print-file-name=libasan.so) $$(gcc -print-file-name=libubsan.so)
ASAN_SITE = $$($(PY) -c 'import sysconfig; print(sysconfig.get_paths()["purelib"])')
ASAN_ENV = ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  PYTHONMALLOC=malloc PYTHONPATH=$(ASAN_BUILD):tests:$(ASAN_SITE) LD_PRELOAD="$(ASAN_RT)" \
  QUORLEN_JINJA_PROBE=$(ASAN_BUILD)/jinja_probe
asan: setup
	$(VENV)/bin/cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DQUORLEN_SANITIZE=ON -DQUORLEN_BUILD_TESTS=ON -DQUORLEN_BUILD_MODULE=ON \
	  -DPython_EXECUTABLE=$(abspath $(PY)) -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV)/bin/ninja)
	$(VENV)/bin/ninja -C $(ASAN_BUILD) -j2
	ASAN_OPTIONS=detect_leaks=1 $(VENV)/bin/ctest --test-dir $(ASAN_BUILD) --output-on-failure -j2
	$(ASAN_ENV) $(PY) -S -c "import quorlen; assert '$(ASAN_BUILD)/' in quorlen.__file__, quorlen.__file__"
	$(ASAN_ENV) $(PY) -S -m pytest -q -p no:cacheprovider tests

# Each libFuzzer target for a bounded time under ASan + UBSan (clang 16), seeded from
# fuzz/corpus and the conformance suites; then the Python-level fuzz with more examples.
# FUZZ_SECONDS per target; new inputs land in build/fuzz/corpus, not in the checkout. A render
# may do a few seconds of work before its work bound ends it, ten times that under ASan: hence
# the 30 s a single input may take before libFuzzer calls it a hang.
FUZZ_BUILD   := build/fuzz
FUZZ_SECONDS ?= 45
FUZZ_TARGETS := json_reader_fuzz yaml_reader_fuzz toml_reader_fuzz guard_prepass_fuzz jinja_fuzz
CONFORMANCE  ?= ../shared/conformance
fuzz_seeds_json_reader_fuzz := $(CONFORMANCE)/json-test-suite/test_parsing
fuzz_seeds_yaml_reader_fuzz := $(CONFORMANCE)/yaml-test-suite/data
fuzz_seeds_toml_reader_fuzz := $(CONFORMANCE)/toml-test/valid
fuzz_dict_toml_reader_fuzz  := -dict=fuzz/toml.dict
fuzz-smoke: setup
	tools/install-deps fuzz
	$(VENV)/bin/cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_C_COMPILER=clang-16 -DCMAKE_CXX_COMPILER=clang++-16 -DQUORLEN_FUZZ=ON \
	  -DQUORLEN_SANITIZE=ON -DQUORLEN_BUILD_TESTS=OFF -DQUORLEN_BUILD_MODULE=OFF \
	  -DCMAKE_MAKE_PROGRAM=$(abspath $(VENV)/bin/ninja)
	$(VENV)/bin/ninja -C $(FUZZ_BUILD) -j2 $(FUZZ_TARGETS)
	@set -e; for t in $(FUZZ_TARGETS); do \
	  case $$t in \
	    json_reader_fuzz) seeds="$(fuzz_seeds_json_reader_fuzz)"; dict="";; \
	    yaml_reader_fuzz) seeds="$(fuzz_seeds_yaml_reader_fuzz)"; dict="";; \
	    toml_reader_fuzz) seeds="$(fuzz_seeds_toml_reader_fuzz)"; dict="$(fuzz_dict_toml_reader_fuzz)";; \
	    *) seeds=""; dict="-dict=fuzz/jinja.dict";; \
	  esac; \
	  [ -d "$${seeds%% *}" ] || seeds=""; \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$t; \
	  echo "fuzz: $$t for $(FUZZ_SECONDS) s"; \
	  $(FUZZ_BUILD)/fuzz/$$t -max_total_time=$(FUZZ_SECONDS) -timeout=30 -rss_limit_mb=2048 \
	    -print_final_stats=1 -artifact_prefix=$(FUZZ_BUILD)/$$t- $$dict \
	    $(FUZZ_BUILD)/corpus/$$t fuzz/corpus/$$t $$seeds > $(FUZZ_BUILD)/$$t.log 2>&1 \
	    || { tail -n 60 $(FUZZ_BUILD)/$$t.log; exit 1; }; \
	  grep -E "^stat::(number_of_executed_units|peak_rss_mb)" $(FUZZ_BUILD)/$$t.log; \
	done
	$(MAKE) install
	QUORLEN_FUZZ_EXAMPLES=400 $(PY) -m pytest -q -p no:cacheprovider tests/test_fuzz_python.py

clean:
	rm -rf build dist $(VENV) *.egg-info
