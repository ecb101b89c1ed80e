#!/usr/bin/env bash
# Installs the engine from a build into WORK/prefix and builds the examples
# against the installed tree alone: with CMake into WORK/cmake and with
# pkg-config into WORK/pkg-config.
#   build-examples.sh SOURCE_DIR BUILD_DIR WORK_DIR [EXTRA_COMPILER_FLAGS]
set -euo pipefail
source=$1 build=$2 work=$3 flags=${4:-}
# A failing step shows its log.
trap 'status=$?; [ $status -ne 0 ] && tail -n 30 "$work"/*.log 2>/dev/null; exit $status' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >"$work/install.log"

# CMake: find_package(qibo CONFIG) through CMAKE_PREFIX_PATH.
cmake -S "$source/examples" -B "$work/cmake" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_FLAGS="$flags" >"$work/cmake.log"
cmake --build "$work/cmake" >>"$work/cmake.log"

# pkg-config: the flags from qibo.pc, the library found through a run path.
export PKG_CONFIG_PATH
PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name qibo.pc)")
mkdir -p "$work/pkg-config"
# shellcheck disable=SC2046,SC2086  # the flags are lists of words
c++ $flags "$source/examples/cube/SpinningCube.cpp" -o "$work/pkg-config/SpinningCube" \
  $(pkg-config --cflags --libs qibo) -Wl,-rpath,"$(pkg-config --variable=libdir qibo)"
# shellcheck disable=SC2046,SC2086
c++ $flags -shared -fPIC "$source/examples/plugin/HelloPlugIn.cpp" -o "$work/pkg-config/HelloPlugIn.plug" \
  $(pkg-config --cflags --libs qibo)
