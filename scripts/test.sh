#!/usr/bin/env bash
# Installs, builds with AddressSanitizer and UndefinedBehaviorSanitizer, and
# runs every test. Leaks are reported as failures.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQIBO_SANITIZE=ON -DQIBO_BENCH=OFF -DQIBO_WERROR=ON
cmake --build build/test
cd build/test
ctest --output-on-failure -j"$(nproc)" "$@"
