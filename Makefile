# The two commands a new user needs:
#   make demo    build and run the main job on the sample in examples/
#   make check   build (release, and with ASan/UBSan) and run every test
JOBS ?= $(shell nproc)
CMAKE_GEN = -G Ninja

.PHONY: all demo check release asan test-release test-asan bench clean

all: release

release:
	cmake -S . -B build/release $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release >/dev/null
	cmake --build build/release -j $(JOBS)

asan:
	cmake -S . -B build/asan $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DVQ_SANITIZE=ON -DVQ_BENCH=OFF >/dev/null
	cmake --build build/asan -j $(JOBS)

demo: release
	./examples/run.sh build/release

test-release: release
	cd build/release && ctest -j $(JOBS) --output-on-failure

test-asan: asan
	cd build/asan && ctest -j $(JOBS) --output-on-failure

check: test-release test-asan

bench: release
	for b in build/release/bench/bench_*; do echo "== $$b"; $$b || exit 1; done

clean:
	rm -rf build
