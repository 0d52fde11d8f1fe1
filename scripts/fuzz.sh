#!/usr/bin/env bash
# Fuzzes the PNG loader with libFuzzer (clang, AddressSanitizer, UBSan), seeded
# with the shared PNG test data. Not part of the tests or CI.
#
#   bash scripts/fuzz.sh [seconds]      (default 180)
#
# Builds tests/fuzz in build/fuzz with CXX=clang++, keeps the grown corpus in
# build/fuzz/corpus, and writes any crashing input to build/fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh
scripts/require-packages.sh cmake make clang libclang-rt-14-dev libpng-dev zlib1g-dev

seconds=${1:-180}
folder=build/fuzz
testdata=${ZELVOR_TESTDATA:-../shared/testdata}

CXX=clang++ cmake -S tests/fuzz -B "$folder" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$folder" -j "$(nproc)"

mkdir -p "$folder/corpus" "$folder/findings"
seeds=()
[ -d "$testdata" ] && seeds+=("$testdata")

"$folder/png_loader_fuzz" \
  -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -timeout=10 \
  -dict=tests/fuzz/png.dict -artifact_prefix="$folder/findings/" -print_final_stats=1 \
  "$folder/corpus" "${seeds[@]}"
