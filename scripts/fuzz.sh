#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang, AddressSanitizer and UndefinedBehaviorSanitizer
# into ./build-fuzz and runs each for SECONDS (default 60), seeded with the sample tables of the
# fixture folder (../shared/fixtures, or $KERBOLT_FIXTURES_DIR) copied into a temporary corpus.
# Inputs that crash, leak or hang land in build-fuzz/findings/, each target's log beside them.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
fixtures=${KERBOLT_FIXTURES_DIR:-../shared/fixtures}
max_len=131072   # seeds above this size are left out
build=build-fuzz

sanitizers="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
cmake -S . -B "$build" -G Ninja -DKERBOLT_FUZZ=ON -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_CXX_FLAGS="$sanitizers -O1 -fno-omit-frame-pointer" >/dev/null
cmake --build "$build" -j2 --target fuzz_read fuzz_write

corpus=$(mktemp -d)
trap 'rm -rf "$corpus"' EXIT
mkdir -p "$corpus/read" "$corpus/write" "$build/findings"

# One seed per table: its .DB, then a section per companion file (fuzz/fuzz_input.h).
seeds=0
while IFS= read -r -d '' db; do
  dir=$(dirname "$db")
  base=$(basename "$db")
  base=${base%.*}
  seed="$corpus/read/seed-$seeds"
  cat "$db" >"$seed"
  while IFS= read -r -d '' companion; do
    ext=${companion##*.}
    ext=${ext^^}
    [[ $ext =~ ^[A-Z0-9]{1,3}$ && $ext != DB ]] || continue
    printf '\0KERBOLT:%s\0' "$ext" >>"$seed"
    cat "$companion" >>"$seed"
  done < <(find "$dir" -maxdepth 1 -type f -iname "$base.*" -print0)
  if [ "$(stat -c %s "$seed")" -gt "$max_len" ]; then
    rm "$seed"
    continue
  fi
  { cat "$seed"; printf '\0KERBOLT:OPS\0'; head -c 64 /dev/urandom; } >"$corpus/write/seed-$seeds"
  seeds=$((seeds + 1))
done < <(find "$fixtures/tables" -type f -iname '*.db' -print0)
echo "$seeds Startdateien aus $fixtures"

for target in read write; do
  echo "== fuzz_$target: $seconds s"
  "$build/bin/fuzz_$target" "$corpus/$target" -max_total_time="$seconds" -max_len="$max_len" \
    -timeout=30 -rss_limit_mb=2048 -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
    -artifact_prefix="$build/findings/$target-" -print_final_stats=1 \
    >"$build/findings/fuzz_$target.log" 2>&1 || true
  grep -E '^#[0-9]+' "$build/findings/fuzz_$target.log" | tail -1
  grep -cE '^==[0-9]+==ERROR|^SUMMARY' "$build/findings/fuzz_$target.log" || true
done
ls "$build/findings"
