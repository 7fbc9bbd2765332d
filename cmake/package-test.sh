#!/usr/bin/env bash
# The installed package as a game's build meets it. One step per call (ctest runs each as a test):
#   install BUILD     cmake --install BUILD into $ZELKAR_PREFIX
#   find_package      configure examples/ against the prefix with find_package on a machine
#                     without minizip and zlib (as far as CMake sees): the host and the program
#                     linking libzelkar.so are built and run, the static example left out
#   components        without those two, the static component is refused, naming them, and a
#                     request of no component leaves out only zelkar::zelkar_static
#   linked            examples/ with find_package and the static component: the program linking
#                     libzelkar.a (attach, detach and the log sink from installed headers) too
#   pkg_config        build examples/host and examples/linked with pkg-config alone, run them;
#                     the static one linked -static with `pkg-config --static`
#   tools             the installed tools load the installed library, found from their own path
#                     (a copy of the prefix elsewhere included), and drive the installed stage
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

# A CMake file run after a project's project(): from there on pkg-config finds no minizip (an
# empty search path, which also overrides a toolchain's) and find_package no zlib.
without_minizip() {
  mkdir -p "$work/no-pkgconfig"
  printf '%s\n' "set(ENV{PKG_CONFIG_LIBDIR} \"$work/no-pkgconfig\")" 'set(ENV{PKG_CONFIG_PATH} "")' \
    'set(CMAKE_DISABLE_FIND_PACKAGE_ZLIB ON)' >"$work/without-minizip.cmake"
  echo "-DCMAKE_PROJECT_INCLUDE=$work/without-minizip.cmake"
}

# Fails unless the dynamic section of program $1 needs (yes) or does not need (no) libzelkar.so.
needs_library() {
  local needed=no
  objdump -p "$1" | grep -q 'NEEDED *libzelkar\.so' && needed=yes
  [ "$needed" = "$2" ] || { echo "$1: needs libzelkar.so: $needed, expected $2"; exit 1; }
}

case $step in
  install)
    rm -rf "$prefix"
    cmake --install "$2" --prefix "$prefix"
    for f in "$lib/libzelkar.so" "$lib/libzelkar.a" "$lib/libzelkar_hostkit.a" \
      "$prefix/include/zelkar/Zelkar.h" "$prefix/include/zelkar/StaticLibrary.h" \
      "$prefix/include/zelkar-hostkit/hostkit/Host.h" \
      "$lib/cmake/zelkar/zelkarConfig.cmake" "$lib/cmake/zelkar/zelkarConfigVersion.cmake" \
      "$lib/pkgconfig/zelkar.pc" "$lib/pkgconfig/zelkar-hostkit.pc" \
      "$prefix/share/doc/zelkar/README.md" "$prefix/share/doc/zelkar/docs/host-contract.md" \
      "$prefix/share/doc/zelkar/examples/CMakeLists.txt"; do
      [ -e "$f" ] || { echo "not installed: $f"; exit 1; }
    done
    soname=$(objdump -p "$lib/libzelkar.so" | awk '$1 == "SONAME" { print $2 }')
    [ "$soname" = libzelkar.so.0 ] || { echo "SONAME is '$soname', not libzelkar.so.0"; exit 1; }
    [ -e "$lib/$soname" ] || { echo "no $soname beside the library"; exit 1; }
    ;;
  find_package)
    # A host that loads the library needs neither minizip nor zlib.
    rm -rf "$work/host-build"
    cmake -S "$ZELKAR_SOURCE/examples" -B "$work/host-build" -G Ninja "${toolchain[@]}" \
      -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release "$(without_minizip)"
    cmake --build "$work/host-build"
    [ ! -e "$work/host-build/zelkar-example-static" ] ||
      { echo "the static example was built without minizip and zlib"; exit 1; }
    $emulator "$work/host-build/zelkar-example-host" "$lib/libzelkar.so.0" "$ZELKAR_ASSETS"
    $emulator "$work/host-build/zelkar-example-linked" "$ZELKAR_ASSETS"
    ;;
  components)
    dir=$(project_dir components 'cmake_minimum_required(VERSION 3.20)
project(components CXX)
find_package(zelkar 0.1 CONFIG REQUIRED ${COMPONENTS})
foreach(target zelkar::hostkit zelkar::zelkar zelkar::zelkar_static)
  if(TARGET ${target})
    message(STATUS "made ${target}")
  endif()
endforeach()')
    configure() {  # components, log
      rm -rf "$work/components-build"
      cmake -S "$dir" -B "$work/components-build" -G Ninja "${toolchain[@]}" \
        -DCMAKE_PREFIX_PATH="$prefix" "$(without_minizip)" "-DCOMPONENTS=$1" >"$2" 2>&1
    }
    if configure "COMPONENTS;static" "$work/static.log"; then
      echo "the static component was found without minizip and zlib"; exit 1
    fi
    cat "$work/static.log"
    tr -s ' \n' ' ' <"$work/static.log" | grep -q 'zelkar::zelkar_static needs zlib .* and minizip'
    configure "" "$work/all.log" || { cat "$work/all.log"; exit 1; }
    cat "$work/all.log"
    [ "$(grep -o 'made zelkar::[a-z_]*' "$work/all.log" | tr '\n' ' ')" = \
      "made zelkar::hostkit made zelkar::zelkar " ]
    grep -q 'left out: zelkar::zelkar_static needs' "$work/all.log"
    ;;
  linked)
    rm -rf "$work/linked-build"
    cmake -S "$ZELKAR_SOURCE/examples" -B "$work/linked-build" -G Ninja "${toolchain[@]}" \
      -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release
    cmake --build "$work/linked-build"
    needs_library "$work/linked-build/zelkar-example-linked" yes
    needs_library "$work/linked-build/zelkar-example-static" no
    $emulator "$work/linked-build/zelkar-example-static" "$ZELKAR_ASSETS"
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
    # The static library's own dependencies come with --static; a link with -static proves
    # that they are all there and in an order that resolves.
    pkg-config --static --libs zelkar | grep -q -- '-lminizip'
    # shellcheck disable=SC2046
    "$ZELKAR_CXX" "${flags[@]}" -std=c++20 -static -DZELKAR_EXAMPLE_STATIC -o "$work/pc/static" \
      "$ZELKAR_SOURCE/examples/linked/main.cpp" $(pkg-config --static --cflags --libs zelkar)
    $emulator "$work/pc/static" "$ZELKAR_ASSETS"
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
  tools)
    # The prefix where it was installed and a copy elsewhere: each copy's tools load its library.
    rm -rf "$work/moved" "$work/drive"
    cp -a "$prefix" "$work/moved"
    for root in "$prefix" "$work/moved"; do
      root=$(cd "$root" && pwd -P)
      library=$root/$ZELKAR_LIBDIR/libzelkar.so.0
      help=$(env -u LD_LIBRARY_PATH $emulator "$root/bin/zelkar-play" --help)
      grep -qF -- "--library TEXT=$library" <<<"$help" ||
        { echo "$help"; echo "zelkar-play does not default to $library"; exit 1; }
      # From outside the build tree, on the installed stage, samples and driver settings.
      (cd / && env -u LD_LIBRARY_PATH $emulator "$root/bin/zelkar-drive" \
        "$root/share/zelkar/stages/rally_stage.json" -o "$work/drive")
      for f in rally_stage.glb rally_stage.csv rally_stage.html; do
        [ -s "$work/drive/$f" ] || { echo "zelkar-drive wrote no $f"; exit 1; }
      done
      rm -r "$work/drive"
      probe=$(env -u LD_LIBRARY_PATH $emulator "$root/bin/zelkar-probe")
      grep -qF "host: loaded $library" <<<"$probe" || { echo "$probe"; exit 1; }
    done
    # Without its library the copy's tools fail on that library: they fall back on no other.
    rm "$work/moved/$ZELKAR_LIBDIR"/libzelkar.so*
    if out=$(env -u LD_LIBRARY_PATH $emulator "$work/moved/bin/zelkar-drive" \
      "$work/moved/share/zelkar/stages/rally_stage.json" -o "$work/drive" 2>&1); then
      echo "zelkar-drive ran without the library of its prefix"; exit 1
    fi
    echo "$out"
    grep -qF "$(cd "$work/moved" && pwd -P)/$ZELKAR_LIBDIR/libzelkar.so.0" <<<"$out"
    ;;
  *)
    echo "unknown step $step" >&2
    exit 2
    ;;
esac
