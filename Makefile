# Everyday commands; the work is done by the scripts in scripts/ and by CMake.
.PHONY: all build demo test bench fuzz clean

all: build

build:
	cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DMELDRIX_TESTS=OFF
	cmake --build build/release --target MELDRIX

demo:
	scripts/demo.sh

test:
	scripts/test.sh

bench:
	scripts/bench.sh

fuzz:
	scripts/fuzz.sh $(FUZZ_SECONDS)

clean:
	rm -rf build
