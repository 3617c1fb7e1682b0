#!/usr/bin/env bash
# Configures and builds one flavour of the tree into build/FLAVOUR.
# Flavours: release (the program), test (warnings as errors), asan (ASan+UBSan),
# tsan (ThreadSanitizer), fuzz (clang with libFuzzer targets).
set -euo pipefail
cd "$(dirname "$0")/.."

flavour=${1:-release}
args=(-G Ninja -DCMAKE_EXPORT_COMPILE_COMMANDS=ON)
case "$flavour" in
    release) args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DVORN_BUILD_TESTS=OFF -DVORN_BUILD_BENCH=OFF) ;;
    test) args+=(-DCMAKE_BUILD_TYPE=Debug -DVORN_WARNINGS_AS_ERRORS=ON) ;;
    asan) args+=(-DCMAKE_BUILD_TYPE=Debug -DVORN_SANITIZE=address,undefined -DVORN_BUILD_BENCH=OFF) ;;
    tsan) args+=(-DCMAKE_BUILD_TYPE=Debug -DVORN_SANITIZE=thread -DVORN_BUILD_BENCH=OFF) ;;
    fuzz) args+=(-DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
        -DVORN_BUILD_FUZZ=ON -DVORN_BUILD_TESTS=OFF -DVORN_BUILD_BENCH=OFF) ;;
    bench) args+=(-DCMAKE_BUILD_TYPE=Release -DVORN_BUILD_TESTS=OFF) ;;
    *) echo "unknown flavour: $flavour" >&2; exit 2 ;;
esac
shift || true
cmake -S . -B "build/$flavour" "${args[@]}" "$@" >/dev/null
cmake --build "build/$flavour" -j "$(nproc)"
