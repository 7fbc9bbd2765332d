#!/usr/bin/env bash
# One entry point for people and CI.
#   bash build.sh demo    install what is missing, build, run the demo
#   bash build.sh test    install what is missing, build Release and ASan+UBSan trees with g++ and a
#                         Release tree with clang, run every test in each, build the fuzz targets
#                         with clang and run each briefly
#   bash build.sh deps    only install the Debian packages the project needs
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(cmake ninja-build g++ clang pkg-config zlib1g-dev libminizip-dev libgtest-dev
  libgmock-dev libbenchmark-dev nlohmann-json3-dev libcli11-dev libclang-rt-14-dev zip)

deps() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq || true
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
  fi
}

JOBS=${JOBS:-$(nproc)}

configure_build() {  # dir, extra cmake args...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$JOBS"
}

case "${1:-test}" in
  deps)
    deps
    ;;
  demo)
    deps
    configure_build build/release -DCMAKE_BUILD_TYPE=Release
    ./tools/demo.sh build/release
    ;;
  test)
    deps
    configure_build build/release -DCMAKE_BUILD_TYPE=Release
    (cd build/release && ctest --output-on-failure -j "$JOBS")
    configure_build build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELKAR_SANITIZE=ON \
      -DZELKAR_BENCH=OFF
    (cd build/asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
      ctest --output-on-failure -j "$JOBS")
    # clang builds everything too, with the same warnings as errors, and runs the tests again.
    CC=clang CXX=clang++ configure_build build/clang -DCMAKE_BUILD_TYPE=Release -DZELKAR_BENCH=OFF
    (cd build/clang && ctest --output-on-failure -j "$JOBS")
    CC=clang CXX=clang++ configure_build build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DZELKAR_SANITIZE=ON -DZELKAR_FUZZ=ON -DZELKAR_TESTS=OFF -DZELKAR_BENCH=OFF \
      -DZELKAR_TOOLS=ON
    ./fuzz/run-all.sh build/fuzz
    ;;
  *)
    echo "usage: bash build.sh [demo|test|deps]" >&2
    exit 2
    ;;
esac
