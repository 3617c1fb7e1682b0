#!/usr/bin/env bash
# Configures and builds one flavour of the tree into build/FLAVOUR.
# Usage: scripts/build.sh [FLAVOUR] [TARGET...]   (no target: everything)
# Flavours: release (the program), test (warnings as errors), asan (ASan+UBSan,
# warnings as errors), tsan (ThreadSanitizer), optimised (tests in an optimised
# build, for the latency checks), fuzz (clang, libFuzzer targets with the code
# under test instrumented), demo (vorn-demo and the programs, nothing else),
# bench (benchmarks).
set -euo pipefail
cd "$(dirname "$0")/.."

flavour=${1:-release}
args=(-G Ninja -DCMAKE_EXPORT_COMPILE_COMMANDS=ON)
quick_link=()
if command -v ld.lld >/dev/null; then
    quick_link=(-DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld -DCMAKE_SHARED_LINKER_FLAGS=-fuse-ld=lld
        -DCMAKE_MODULE_LINKER_FLAGS=-fuse-ld=lld)
fi
case "$flavour" in
    release) args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_BUILD_TESTS=OFF -DVORN_BUILD_BENCH=OFF) ;;
    test) args+=(-DCMAKE_BUILD_TYPE=Debug -DVORN_WARNINGS_AS_ERRORS=ON) ;;
    # Line tables are enough for the sanitizers' reports, and quicker to build
    # than full debug data; lld links the many test programs much faster.
    asan) args+=(-DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 "${quick_link[@]}"
        -DVORN_WARNINGS_AS_ERRORS=ON -DVORN_SANITIZE=address,undefined) ;;
    tsan) args+=(-DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-g1 "${quick_link[@]}"
        -DVORN_SANITIZE=thread -DVORN_BUILD_BENCH=OFF) ;;
    optimised) args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_BUILD_BENCH=OFF) ;;
    fuzz) args+=(-DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
        -DVORN_SANITIZE=fuzzer-no-link,address,undefined
        -DVORN_BUILD_FUZZ=ON -DVORN_BUILD_TESTS=OFF -DVORN_BUILD_BENCH=OFF) ;;
    demo) args+=(-DCMAKE_BUILD_TYPE=Debug -DVORN_BUILD_TESTS=OFF -DVORN_BUILD_BENCH=OFF -DVORN_BUILD_DEMO=ON) ;;
    bench) args+=(-DCMAKE_BUILD_TYPE=Release -DVORN_BUILD_TESTS=OFF) ;;
    *) echo "unknown flavour: $flavour" >&2; exit 2 ;;
esac
shift || true
targets=()
for target in "$@"; do targets+=(--target "$target"); done
cmake -S . -B "build/$flavour" "${args[@]}" >/dev/null
cmake --build "build/$flavour" -j "$(nproc)" "${targets[@]}"
