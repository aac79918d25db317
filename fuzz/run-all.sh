#!/usr/bin/env bash
# Builds every fuzz target with clang (libFuzzer, address and undefined
# sanitizers) in build/fuzz and runs each for a while on its corpus in
# fuzz/corpus/NAME. New inputs found go to a temporary folder, so the
# corpus in the repository changes only by hand; a crash stops the run with
# the target's report and the input saved in build/fuzz/crashes/.
#   fuzz/run-all.sh [SECONDS_PER_TARGET]   (default 30)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
build=build/fuzz

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DVELVOX_FUZZ=ON -DVELVOX_SANITIZE=address,undefined >/dev/null
targets=()
for source in fuzz/fuzz_*.cpp; do
  targets+=("$(basename "$source" .cpp)")
done
cmake --build "$build" -j2 --target "${targets[@]}"

mkdir -p "$build/crashes"
for target in "${targets[@]}"; do
  corpus=fuzz/corpus/${target#fuzz_}
  found=$(mktemp -d)
  echo "== $target: ${seconds} s on $corpus"
  status=0
  "$build/fuzz/$target" -max_total_time="$seconds" -print_final_stats=0 \
    -artifact_prefix="$build/crashes/$target-" "$found" "$corpus" \
    >"$build/$target.log" 2>&1 || status=$?
  rm -rf "$found"
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$build/$target.log"
    echo "$target failed (status $status); its input is in $build/crashes/" >&2
    exit 1
  fi
  grep -E "^#[0-9]+ *DONE" "$build/$target.log" || tail -n 1 "$build/$target.log"
done
echo "== every fuzz target ran ${seconds} s without a finding"
