#!/usr/bin/env bash
# Builds zelvor and runs every test: once in an ordinary build (warnings are
# errors), once more under AddressSanitizer and UndefinedBehaviorSanitizer, and
# the threading suites under ThreadSanitizer, each in its own build folder.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
scripts/require-packages.sh "${build_packages[@]}" "${display_packages[@]}" "${test_packages[@]}"

jobs=$(nproc)
summary=()

run_suite() {
  local name=$1 folder=$2 label=$3
  shift 3
  echo "== $name: configure and build ($folder)"
  cmake -S . -B "$folder" -DZELVOR_WERROR=ON "$@" >/dev/null
  cmake --build "$folder" -j "$jobs"
  echo "== $name: run"
  local log="$folder/ctest.log" status=0
  ctest --test-dir "$folder" --output-on-failure -j "$jobs" ${label:+-L "$label"} | tee "$log" || status=$?
  summary+=("$name: $(grep -E 'tests passed|tests failed' "$log" | tail -n 1)")
  return "$status"
}

status=0
run_suite "plain" build/test "" -DCMAKE_BUILD_TYPE=RelWithDebInfo || status=1
run_suite "address+undefined sanitizers" build/asan "" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZELVOR_SANITIZE=address,undefined -DZELVOR_BENCH=OFF || status=1
run_suite "thread sanitizer" build/tsan threading -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZELVOR_SANITIZE=thread -DZELVOR_BENCH=OFF || status=1

echo
printf '%s\n' "${summary[@]}"
exit "$status"
