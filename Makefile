# The two commands a new user runs: `make demo` and `make test`.
PRESETS := native asan tsan linux32 win32 win64

.PHONY: all deps demo test bench fuzz soak golden dist clean $(addprefix test-,$(PRESETS)) tsan

all: deps
	cmake --preset native >/dev/null && cmake --build --preset native

deps:
	@bash scripts/deps.sh

demo: deps
	@bash scripts/demo.sh

test: deps
	@s=0; bash scripts/test-all.sh $(PRESETS) || s=1; bash scripts/fuzz.sh short || s=1; exit $$s

test-%: deps
	@bash scripts/test-all.sh $*

bench: deps
	cmake --preset native >/dev/null && cmake --build --preset native --target velgarde_bench
	./build/native/velgarde_bench --benchmark_counters_tabular=true

fuzz: deps
	@bash scripts/fuzz.sh long

# Thousands of frames through one module and pool; SOAK_FRAMES to change.
soak: deps
	cmake --preset native >/dev/null && cmake --build --preset native --target velgarde_soak
	./build/native/velgarde_soak --frames $${SOAK_FRAMES:-20000}

# The golden digests from the scalar model; refuses to replace the committed
# table unless OVERWRITE=1.
golden: deps
	cmake --preset native >/dev/null && cmake --build --preset native --target golden_outputs
	./build/native/golden_outputs --write-table tests/golden/GoldenDigests.inc $(if $(OVERWRITE),--overwrite)

# The release package: out/dist/Velgarde-<version>-win32.zip.
dist: deps
	cmake --preset win32 >/dev/null && cmake --build --preset win32 --target package_zip
	mkdir -p out/dist && cp build/win32/dist/Velgarde-*-win32.zip out/dist/
	@ls out/dist/Velgarde-*-win32.zip

clean:
	rm -rf build out
