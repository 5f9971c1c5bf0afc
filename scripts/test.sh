#!/usr/bin/env bash
# Builds harbolink with its tests and runs them twice: in a normal build and in a build with
# AddressSanitizer and UndefinedBehaviorSanitizer. Installs what it needs first.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
scripts/deps.sh test

jobs=$(nproc)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

run_suite() {
    local dir=$1; shift
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DHARBOLINK_BUILD_TESTS=ON "${launcher[@]}" "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    (cd "$dir" && ctest --output-on-failure -j "$jobs")
}

echo "== normal build"
run_suite build/test
echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
run_suite build/asan -DHARBOLINK_SANITIZE=ON
