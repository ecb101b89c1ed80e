#!/usr/bin/env bash
# Checks every C++ source against the project's .clang-format; lists the
# files that differ and fails if there are any. "--fix" formats them instead.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  clang-format -i "${files[@]}"
  exit 0
fi
bad=()
for f in "${files[@]}"; do
  clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if [ ${#bad[@]} -gt 0 ]; then
  echo "not formatted with .clang-format (run: bash scripts/check-format.sh --fix):"
  printf '  %s\n' "${bad[@]}"
  exit 1
fi
echo "formatting: ${#files[@]} files match .clang-format"
