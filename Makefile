# The two commands a new user runs: `make demo` and `make test`.
PRESETS := native asan tsan linux32 win32 win64

.PHONY: all deps demo test bench bench-cli fuzz soak clean $(addprefix test-,$(PRESETS)) tsan

all: deps
	cmake --preset native >/dev/null && cmake --build --preset native

deps:
	@bash scripts/deps.sh

# The native toolchain alone, and only the targets the demo uses.
demo:
	@bash scripts/deps.sh demo
	@bash scripts/demo.sh

test: deps
	@s=0; bash scripts/test-all.sh $(PRESETS) || s=1; bash scripts/fuzz.sh short || s=1; exit $$s

test-%: deps
	@bash scripts/test-all.sh $*

bench: deps
	cmake --preset native >/dev/null && cmake --build --preset native --target velgarde_bench
	./build/native/velgarde_bench --benchmark_counters_tabular=true

# The tool against the plug-in alone and against ffmpeg's unsharp, one run.
bench-cli: deps
	@bash scripts/bench-cli.sh

fuzz: deps
	@bash scripts/fuzz.sh long

# Thousands of frames through one module and pool; SOAK_FRAMES to change.
soak: deps
	cmake --preset native >/dev/null && cmake --build --preset native --target velgarde_soak
	./build/native/velgarde_soak --frames $${SOAK_FRAMES:-20000}

clean:
	rm -rf build out
