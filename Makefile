# The commands a new user runs: `make deps` once (installs packages, as root
# or through sudo), then `make demo` and `make test`. Nothing but `make deps`
# installs anything; the others only say what is missing.
PRESETS := native strict asan tsan linux32 win32 win64

.PHONY: all deps deps-demo check-deps demo test bench bench-cli bench-frei0r bench-hosts fuzz soak golden dist dist-aviutl2 clean

all: check-deps
	cmake --preset native >/dev/null && cmake --build --preset native

deps:
	@bash scripts/deps.sh

check-deps:
	@bash scripts/deps.sh --check

deps-demo:
	@bash scripts/deps.sh demo

# The native toolchain alone, and only the targets the demo uses.
demo:
	@bash scripts/deps.sh --check demo
	@bash scripts/demo.sh

test: check-deps
	@s=0; bash scripts/test-all.sh $(PRESETS) || s=1; bash scripts/fuzz.sh short || s=1; exit $$s

test-%: check-deps
	@bash scripts/test-all.sh $*

# Google Benchmark's rows (OpenCV among them), then the one-thread rows of
# the 64-bit and, where this machine runs 32-bit code, the 32-bit build.
bench: check-deps
	cmake --preset native >/dev/null && cmake --build --preset native --target velgarde_bench velgarde_one_thread
	./build/native/velgarde_bench --benchmark_counters_tabular=true
	@bash scripts/bench-32bit.sh

# The tool against the plug-in alone and against ffmpeg's unsharp, one run.
bench-cli: check-deps
	@bash scripts/bench-cli.sh

fuzz: check-deps
	@bash scripts/fuzz.sh long

# Every host's 1080p frame against the engine's own, one run: frei0r in
# ffmpeg, the tool file to file and in a pipe, the .auf2 module under wine64.
bench-hosts: check-deps
	bash bench/hosts.sh

# 1080p through ffmpeg: frei0r=velgarde against sharpness and unsharp.
bench-frei0r: check-deps
	bash bench/frei0r-fps.sh

# Thousands of frames through one module and pool; SOAK_FRAMES to change.
soak: check-deps
	cmake --preset native >/dev/null && cmake --build --preset native --target velgarde_soak
	./build/native/velgarde_soak --frames $${SOAK_FRAMES:-20000}

# The golden digests from the scalar model; refuses to replace the committed
# table unless OVERWRITE=1.
golden: check-deps
	cmake --preset native >/dev/null && cmake --build --preset native --target golden_outputs
	./build/native/golden_outputs --write-table $(CURDIR)/tests/golden/GoldenDigests.inc $(if $(OVERWRITE),--overwrite)

# The release packages: out/dist/Velgarde-<version>-win32.zip for the editor,
# and Velgarde-<version>-aviutl2-win64.zip for its 64-bit successor.
dist: check-deps
	cmake --preset win32 >/dev/null && cmake --build --preset win32 --target package_zip
	mkdir -p out/dist && cp build/win32/dist/Velgarde-*-win32.zip out/dist/
	@bash scripts/dist-aviutl2.sh
	@ls out/dist/*.zip

dist-aviutl2: check-deps
	@bash scripts/dist-aviutl2.sh

clean:
	rm -rf build out
