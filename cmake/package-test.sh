#!/usr/bin/env bash
# The installed package as a game's build meets it. One step per call (ctest runs each as a test):
#   install BUILD     cmake --install BUILD into $ZELKAR_PREFIX
#   find_package      configure examples/host against the prefix with find_package, build, run
#   pkg_config        build examples/host and examples/linked with pkg-config alone, run both
#   version_mismatch  a request for an incompatible version fails with CMake's usual message
#   exports           the installed libzelkar.so exports ZK_Create and ZK_Delete and nothing else
# The environment (set by cmake/ZelkarPackage.cmake) names the prefix, a work folder, the source
# tree, the compiler and its flags, and for a cross build the toolchain file and the emulator.
set -euo pipefail
step=$1
prefix=$ZELKAR_PREFIX
work=$ZELKAR_WORK
lib=$prefix/$ZELKAR_LIBDIR
emulator=${ZELKAR_EMULATOR:-}
toolchain=()
[ -n "${ZELKAR_TOOLCHAIN:-}" ] && toolchain=(--toolchain "$ZELKAR_TOOLCHAIN")

# A small project in $work/$1 whose CMakeLists.txt is $2.
project_dir() {
  mkdir -p "$work/$1"
  printf '%s\n' "$2" >"$work/$1/CMakeLists.txt"
  echo "$work/$1"
}

case $step in
  install)
    rm -rf "$prefix"
    cmake --install "$2" --prefix "$prefix"
    for f in "$lib/libzelkar.so" "$lib/libzelkar.a" "$lib/libzelkar_hostkit.a" \
      "$prefix/include/zelkar/Zelkar.h" "$prefix/include/zelkar-hostkit/hostkit/Host.h" \
      "$lib/cmake/zelkar/zelkarConfig.cmake" "$lib/cmake/zelkar/zelkarConfigVersion.cmake" \
      "$lib/pkgconfig/zelkar.pc" "$lib/pkgconfig/zelkar-hostkit.pc"; do
      [ -e "$f" ] || { echo "not installed: $f"; exit 1; }
    done
    soname=$(objdump -p "$lib/libzelkar.so" | awk '$1 == "SONAME" { print $2 }')
    [ "$soname" = libzelkar.so.0 ] || { echo "SONAME is '$soname', not libzelkar.so.0"; exit 1; }
    [ -e "$lib/$soname" ] || { echo "no $soname beside the library"; exit 1; }
    ;;
  find_package)
    rm -rf "$work/host-build"
    cmake -S "$ZELKAR_SOURCE/examples/host" -B "$work/host-build" -G Ninja "${toolchain[@]}" \
      -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release
    cmake --build "$work/host-build"
    $emulator "$work/host-build/zelkar-example-host" "$lib/libzelkar.so.0" "$ZELKAR_ASSETS"
    ;;
  pkg_config)
    export PKG_CONFIG_PATH="$lib/pkgconfig"
    # A cross build's compiler flags (-m32 ...) and its own pkg-config files for minizip.
    read -r -a flags <<<"${ZELKAR_CXX_FLAGS:-}"
    mkdir -p "$work/pc"
    # shellcheck disable=SC2046
    "$ZELKAR_CXX" "${flags[@]}" -std=c++20 -o "$work/pc/host" \
      "$ZELKAR_SOURCE/examples/host/main.cpp" $(pkg-config --cflags --libs zelkar-hostkit)
    $emulator "$work/pc/host" "$lib/libzelkar.so.0" "$ZELKAR_ASSETS"
    # shellcheck disable=SC2046
    "$ZELKAR_CXX" "${flags[@]}" -std=c++20 -o "$work/pc/linked" \
      "$ZELKAR_SOURCE/examples/linked/main.cpp" $(pkg-config --cflags --libs zelkar) \
      -Wl,-rpath,"$lib"
    $emulator "$work/pc/linked" "$ZELKAR_ASSETS"
    ;;
  version_mismatch)
    dir=$(project_dir version 'cmake_minimum_required(VERSION 3.20)
project(version_request CXX)
find_package(zelkar 1.0 CONFIG REQUIRED)')
    rm -rf "$work/version-build"
    if cmake -S "$dir" -B "$work/version-build" -G Ninja "${toolchain[@]}" \
      -DCMAKE_PREFIX_PATH="$prefix" >"$work/version.log" 2>&1; then
      echo "find_package(zelkar 1.0) was accepted by an older package"; exit 1
    fi
    cat "$work/version.log"
    # CMake wraps its message: read it as one line.
    tr -s ' \n' ' ' <"$work/version.log" | grep -q 'compatible with requested version "1.0"'
    tr -s ' \n' ' ' <"$work/version.log" | grep -q 'zelkarConfig.cmake, version: 0.1.0'
    # The package's own version is accepted.
    dir=$(project_dir version-ok 'cmake_minimum_required(VERSION 3.20)
project(version_request CXX)
find_package(zelkar 0.1 CONFIG REQUIRED)
message(STATUS "zelkar ${zelkar_VERSION}")')
    rm -rf "$work/version-ok-build"
    cmake -S "$dir" -B "$work/version-ok-build" -G Ninja "${toolchain[@]}" \
      -DCMAKE_PREFIX_PATH="$prefix"
    ;;
  exports)
    # Every defined dynamic symbol but the linker's section marks.
    ours=$(nm -D --defined-only "$lib/libzelkar.so" | awk '{ print $3 }' |
      grep -Evx '_init|_fini|__bss_start|_edata|_end' | sort | tr '\n' ' ')
    echo "exported: $ours"
    [ "$ours" = "ZK_Create ZK_Delete " ]
    ;;
  *)
    echo "unknown step $step" >&2
    exit 2
    ;;
esac
