#!/usr/bin/env bash
# Installs, builds the optimised programs and runs the main program; any
# arguments are passed on to it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQIBO_TESTS=OFF >/dev/null
cmake --build build/release >/dev/null
exec build/release/bin/qibo "$@"
