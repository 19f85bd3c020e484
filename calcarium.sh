#!/usr/bin/env bash
# Set-up, build, run and test in one place.
#   ./calcarium.sh run    install what is missing, build, start the program (the window program; without a display
#                         the command-line program)
#   ./calcarium.sh test   install what is missing, build, run every test (Release, then ASan/UBSan, then the
#                         fuzz targets for FUZZ_SECONDS each)
set -euo pipefail
cd "$(dirname "$0")"

PACKAGES=(cmake ninja-build g++ pkg-config googletest libgtest-dev libbenchmark-dev libmpfr-dev libgmp-dev
          qt6-base-dev clang libclang-rt-14-dev)
JOBS=$(nproc)

install_missing() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    local sudo=""
    [[ $(id -u) -ne 0 ]] && sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
  fi
}

build() {  # build DIR [cmake options...]
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$JOBS"
}

case "${1:-}" in
  run)
    install_missing
    build build/release -DCMAKE_BUILD_TYPE=Release
    shift
    if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
      echo "No display found: starting the command-line program instead (build/release/calcarium is the window program)." >&2
      exec build/release/cli/calcarium-cli "${@:---help}"
    fi
    exec build/release/calcarium "$@"
    ;;
  test)
    install_missing
    build build/release -DCMAKE_BUILD_TYPE=Release
    (cd build/release && ctest --output-on-failure -j "$JOBS")
    build build/asan -DCMAKE_BUILD_TYPE=Debug -DCALCARIUM_SANITIZE=ON -DCALCARIUM_BENCH=OFF
    export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
    (cd build/asan && ctest --output-on-failure -j "$JOBS")
    FUZZ_SECONDS="${FUZZ_SECONDS:-30}" fuzz/run_fuzzers.sh
    ;;
  *)
    echo "usage: $0 run | test" >&2
    exit 2
    ;;
esac
