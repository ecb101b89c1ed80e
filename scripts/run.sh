#!/usr/bin/env bash
# Installs, builds the optimised programs (showing the build's progress)
# and runs the demo, Quarndelion; any arguments are passed on to it
# (-speedN, --record FILE [--size WxH] [--fps N]). Without a display
# (neither DISPLAY nor WAYLAND_DISPLAY set) the demo cannot open its window,
# so it is recorded into a movie file instead, unless the arguments already
# ask for a recording. A recording ends by saying where the movie is and
# how to play it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
echo "Building the optimised programs in build/release"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DQIBO_TESTS=OFF >/dev/null
cmake --build build/release

demo=build/release/bin/Quarndelion
movie=
previous=
for argument in "$@"; do
  case "$argument" in --record=*) movie=${argument#--record=} ;; esac
  [ "$previous" = --record ] && movie=$argument
  previous=$argument
done
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "$movie" ]; then
  movie="$PWD/quarndelion.mp4"
  echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): recording the demo into $movie instead of showing it."
  set -- --record "$movie" "$@"
fi
if [ -z "$movie" ]; then
  exec "$demo" "$@"
fi
status=0
"$demo" "$@" || status=$?
if [ "$status" -eq 0 ] && [ -f "$movie" ]; then
  movie=$(realpath "$movie")
  echo "The movie is $movie; play it with any video player, e.g.: ffplay \"$movie\" (or mpv, vlc)"
fi
exit "$status"
