#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one for the given
# number of seconds (default 20) on its seed corpus (fuzz/corpus/<name>).
# An input that takes more than 2 GB of memory or 10 s is a finding.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
bash scripts/install-deps.sh
if ! command -v clang++ >/dev/null; then
  echo "clang++ not found: fuzz targets skipped"
  exit 0
fi
shopt -s nullglob
targets=(fuzz/*.cpp)
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz targets"
  exit 0
fi
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQIBO_FUZZ=ON -DQIBO_WERROR=ON >/dev/null
cmake --build build/fuzz
for src in "${targets[@]}"; do
  name=$(basename "$src" .cpp)
  work="build/fuzz/corpus/$name"
  mkdir -p "$work"
  [ -d "fuzz/corpus/$name" ] && cp -n fuzz/corpus/"$name"/* "$work"/ 2>/dev/null || true
  log="build/fuzz/$name.log"
  echo "== fuzz_$name for ${seconds}s"
  if ! (cd build/fuzz && ./bin/fuzz_"$name" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 "corpus/$name" >"$name.log" 2>&1); then
    tail -n 60 "$log"
    echo "fuzz_$name FAILED"
    exit 1
  fi
  tail -n 1 "$log"
done
