#!/usr/bin/env bash
# Installs, builds the optimised programs and runs the demo, Quarndelion;
# any arguments are passed on to it (-speedN, --record FILE [--size WxH]
# [--fps N]). Without a display (neither DISPLAY nor WAYLAND_DISPLAY set)
# the demo cannot open its window, so it is recorded into a movie file
# instead, unless the arguments already ask for a recording.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQIBO_TESTS=OFF >/dev/null
cmake --build build/release >/dev/null

demo=build/release/bin/Quarndelion
recording=no
for argument in "$@"; do
  case "$argument" in --record | --record=*) recording=yes ;; esac
done
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "$recording" = no ]; then
  movie="$PWD/quarndelion.mp4"
  echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): recording the demo into $movie instead of showing it."
  exec "$demo" --record "$movie" "$@"
fi
exec "$demo" "$@"
