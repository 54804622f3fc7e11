# The two commands a new user runs: `make demo` and `make test`.
PRESETS := native asan linux32 win32 win64

.PHONY: all deps demo test bench fuzz clean $(addprefix test-,$(PRESETS)) tsan

all: deps
	cmake --preset native >/dev/null && cmake --build --preset native

deps:
	@bash scripts/deps.sh

demo: deps
	@bash scripts/demo.sh

test: deps
	@bash scripts/test-all.sh $(PRESETS)

test-%: deps
	@bash scripts/test-all.sh $*

bench: deps
	cmake --preset native >/dev/null && cmake --build --preset native --target velgarde_bench
	./build/native/velgarde_bench --benchmark_counters_tabular=true

fuzz: deps
	@bash scripts/fuzz.sh long

clean:
	rm -rf build out
