#!/usr/bin/env bash
# One entry point for people and CI.
#   bash build.sh demo    install what is missing, build the library, the tools and the samples
#                         (no tests, no benchmarks), run the demo
#   bash build.sh test    install what is missing, then build and test every tree (README, "What
#                         each tree is for"); this is what CI runs
#   bash build.sh web     install what is missing, build the library for WebAssembly and
#                         build/web/zelkar-live.html, the page that drives the car live
#   bash build.sh live    the same, then open the page in the browser
#   bash build.sh deps    only install the Debian packages the project needs
set -euo pipefail
cd "$(dirname "$0")"

# What the library, its tools and the demo need (three.js for the drive's page).
DEMO_PACKAGES=(cmake ninja-build g++ pkg-config zlib1g-dev libminizip-dev nlohmann-json3-dev
  libcli11-dev zip libtinygltf-dev libjs-three)
# What the test trees add: the test and benchmark libraries, clang and its fuzzing runtime,
# doxygen for the reference, the 32-bit build's compiler and i386 libraries, and chromium for the
# drive's page test.
TEST_PACKAGES=(libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev doxygen
  g++-multilib zlib1g-dev:i386 libminizip-dev:i386 libgtest-dev:i386 libgmock-dev:i386 chromium)

# The WebAssembly build: emscripten, and the acorn parser its linker runs under node.
WEB_PACKAGES=(emscripten node-acorn nodejs)

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

install_missing() {
  local missing=()
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    $SUDO apt-get update -qq || true
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-remove "${missing[@]}"
  fi
}

deps_demo() { install_missing "${DEMO_PACKAGES[@]}"; }

deps_test() {
  deps_demo
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    $SUDO apt-get update -qq || true
  fi
  install_missing "${TEST_PACKAGES[@]}"
  # Some x86-64 kernels run no 32-bit programs: the 32-bit tree then runs its programs under
  # Debian's user-mode emulator (cmake/i386.cmake detects the same way).
  if ! /lib/ld-linux.so.2 --help >/dev/null 2>&1; then install_missing qemu-user; fi
}

# The glTF tests check files with node packages pinned in tests/gltf-node/package-lock.json.
deps_node() {
  command -v node >/dev/null && command -v npm >/dev/null || install_missing nodejs npm
  # CI must run those checks, so there a failed install stops the run; elsewhere the tests that
  # need node say they skip.
  if ! (cd tests/gltf-node && npm ci --no-audit --no-fund --loglevel=error); then
    [ -n "${CI:-}" ] && { echo "npm ci failed in CI: the glTF checks cannot run" >&2; return 1; }
    echo "npm ci failed: the glTF tests that run node will skip"
  fi
}

deps_web() { install_missing "${WEB_PACKAGES[@]}"; }

JOBS=${JOBS:-$(nproc)}

configure() {  # dir, cmake args...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
}

run_tests() {  # dir, extra ctest args...
  local dir=$1; shift
  (cd "$dir" && ctest --output-on-failure -j "$JOBS" "$@")
}

# Seconds spent in each tree, printed at the end.
timings=()
timed() {  # name, command...
  local name=$1 start=$SECONDS; shift
  "$@"
  timings+=("$(printf '%-8s %5d s' "$name" $((SECONDS - start)))")
}

release_tree() {
  configure build/release -DCMAKE_BUILD_TYPE=Release -DZELKAR_TESTS=ON -DZELKAR_BENCH=OFF
  cmake --build build/release -j "$JOBS"
  run_tests build/release
  cmake --build build/release --target docs
}

asan_tree() {
  configure build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELKAR_SANITIZE=ON -DZELKAR_BENCH=OFF
  cmake --build build/asan -j "$JOBS"
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_tests build/asan
  # A few random stages (fuzz/random_stage.py) driven under the sanitizers, their .glb validated.
  ./fuzz/stage-seeds.sh build/asan 1 5
}

i386_tree() {
  # Its tests include one that compares its sample assets with the 64-bit tree's, byte for byte.
  configure build/i386 --toolchain cmake/i386.cmake -DCMAKE_BUILD_TYPE=Release -DZELKAR_BENCH=OFF \
    -DZELKAR_COMPARE_ASSETS_WITH="$PWD/build/release/assets"
  cmake --build build/i386 -j "$JOBS"
  run_tests build/i386
}

clang_tree() {
  CC=clang CXX=clang++ configure build/clang -DCMAKE_BUILD_TYPE=Release -DZELKAR_BENCH=ON
  CC=clang CXX=clang++ cmake --build build/clang -j "$JOBS"
}

# The page needs the native tree's sample assets and its zelkar-drive (for the bodies), then the
# emscripten build of the library with the page; its test drives the page in headless chromium
# and compares with the native library.
web_tree() {
  local native=$1
  cmake --build "$native" -j "$JOBS" --target zelkar-drive zelkar_assets
  export NODE_PATH=/usr/share/nodejs  # emscripten's linker needs node's acorn
  emcmake cmake -S web -B build/web -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DZELKAR_NATIVE_TREE="$PWD/$native" >/dev/null
  cmake --build build/web -j "$JOBS"
}

web_test() {
  web_tree build/release
  run_tests build/web
}

# One drive, every build: the sample stage driven by the 32-bit and the clang tree's zelkar-drive
# must give the 64-bit tree's CSV and .glb animations within 1e-6 relative.
drives_compared() {
  tests/tools/compare-drives.sh i386 clang
}

fuzz_tree() {
  CC=clang CXX=clang++ configure build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZELKAR_SANITIZE=ON -DZELKAR_FUZZ=ON -DZELKAR_TESTS=OFF -DZELKAR_BENCH=OFF -DZELKAR_TOOLS=ON
  CC=clang CXX=clang++ cmake --build build/fuzz -j "$JOBS"
  ./fuzz/run-all.sh build/fuzz
}

case "${1:-test}" in
  deps)
    deps_test
    deps_web
    ;;
  web | live)
    deps_demo
    deps_web
    [ -f build/release/CMakeCache.txt ] ||
      configure build/release -DCMAKE_BUILD_TYPE=Release -DZELKAR_TESTS=OFF -DZELKAR_BENCH=OFF
    web_tree build/release
    echo "the page: $PWD/build/web/zelkar-live.html"
    if [ "$1" = live ]; then
      if command -v xdg-open >/dev/null && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
        xdg-open "build/web/zelkar-live.html"
      else
        echo "no display here: open the page above in a browser"
      fi
    fi
    ;;
  demo)
    deps_demo
    # Tests and benchmarks stay off until `bash build.sh test` turns them on in the same tree.
    configure build/release -DCMAKE_BUILD_TYPE=Release -DZELKAR_TESTS=OFF -DZELKAR_BENCH=OFF
    cmake --build build/release -j "$JOBS" --target zelkar-probe zelkar-play zelkar-drive
    ./tools/demo.sh build/release
    ;;
  test)
    timed deps deps_test
    timed webdeps deps_web
    timed node deps_node
    timed release release_tree
    timed web web_test
    timed asan asan_tree
    timed i386 i386_tree
    timed clang clang_tree
    timed drives drives_compared
    timed fuzz fuzz_tree
    printf '%s\n' "${timings[@]}"
    ;;
  *)
    echo "usage: bash build.sh [demo|test|web|live|deps]" >&2
    exit 2
    ;;
esac
