#!/usr/bin/env bash
# Builds harbolink with its tests and runs them in a normal build and in a build with
# AddressSanitizer and UndefinedBehaviorSanitizer, then runs the tests of the code that works on
# several threads in a ThreadSanitizer build. Installs what it needs first.
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

# Builds only the test executables carrying the label (test and target names are the same).
run_labelled() {
    local dir=$1 label=$2; shift 2
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DHARBOLINK_BUILD_TESTS=ON "${launcher[@]}" "$@" >/dev/null
    local targets
    mapfile -t targets < <(cd "$dir" && ctest -N -L "$label" | sed -n 's/^ *Test *#[0-9]*: //p')
    cmake --build "$dir" -j "$jobs" --target "${targets[@]}"
    (cd "$dir" && ctest --output-on-failure -j "$jobs" -L "$label")
}

echo "== normal build"
run_suite build/test
echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
run_suite build/asan -DHARBOLINK_SANITIZE=ON
echo "== ThreadSanitizer build (latency probe)"
run_labelled build/tsan '^ping$' -DHARBOLINK_TSAN=ON
