#!/usr/bin/env bash
# Installs the Debian packages the project needs. Idempotent: when every
# package is already present it touches nothing; otherwise it runs
# apt-get update once and installs what is missing.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang clang-format libclang-rt-14-dev
  libsdl2-dev libepoxy-dev libimgui-dev libopenmpt-dev libsndfile1-dev
  libjpeg62-turbo-dev libgl1-mesa-dri libegl-mesa0
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev libavfilter-dev
  libassimp-dev
  libenet-dev
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
# Quietly: one line says what is installed, apt's own output only on failure.
echo "Installing ${#missing[@]} Debian packages: ${missing[*]}"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! { $SUDO apt-get update -q && $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "install-deps.sh: the package installation failed (apt-get's output above)" >&2
  exit 1
fi
