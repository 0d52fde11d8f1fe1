#!/usr/bin/env bash
# Only the AVX2 kernels may hold AVX instructions, and none of their code may
# be chosen by the linker for another file's call. Takes the core library;
# checks its pixel objects:
#  - kernels_avx2: no global or weak code symbol contains a VEX or EVEX
#    instruction (an inline function or template instantiated there with
#    external linkage is a weak symbol that may stand in for every file's copy,
#    and would then run AVX2 code on processors without it);
#  - every other pixel object: no VEX or EVEX instruction at all.
set -euo pipefail
library=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
ar x "$library"

# Mnemonics of VEX/EVEX-encoded instructions all start with v (AT&T syntax);
# the few plain ones that do (verr, verw, vm*) never appear in user code.
vector_lines() { objdump -d --no-show-raw-insn "$@" | grep -E $'^\\s+[0-9a-f]+:\\s+v[a-z]' || true; }

status=0
avx2=$(ls | grep -E '^kernels_avx2\.cpp\.o(bj)?$' || true)
if [[ -z "$avx2" ]]; then
  echo "no kernels_avx2 object in $library"
  exit 1
fi
if [[ -z "$(vector_lines "$avx2")" ]]; then
  echo "$avx2 holds no AVX instruction at all: is it compiled with -mavx2?"
  status=1
fi
shared=0
while read -r symbol type _; do
  [[ "$type" =~ ^[TWiu]$ ]] || continue
  shared=$((shared + 1))
  if [[ -n "$(vector_lines --disassemble="$symbol" "$avx2")" ]]; then
    echo "$avx2: $(c++filt "$symbol") ($type) has external linkage and AVX instructions"
    status=1
  fi
done < <(nm --defined-only -P "$avx2")
echo "$avx2: $shared code symbols with external linkage checked for AVX instructions"

for object in kernels_sse2 kernels_narrow kernel_dispatch blend; do
  file=$(ls | grep -E "^$object\.cpp\.o(bj)?$" || true)
  [[ -n "$file" ]] || { echo "no $object object in $library"; status=1; continue; }
  found=$(vector_lines "$file" | head -n 3)
  if [[ -n "$found" ]]; then
    echo "$file holds AVX instructions:"
    echo "$found"
    status=1
  fi
done
[[ $status -eq 0 ]] && echo "AVX2 code is confined to $avx2"
exit "$status"
