#!/usr/bin/env bash
# Installs the Debian packages the project builds with and, with --board,
# the cross compiler and arm64 libraries of the board build (AArch64). Quiet
# and quick when everything is there already. The board's packages are not
# required: where they cannot be installed, a warning says so and the board
# build is compiled for this machine instead (see scripts/test.sh).
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
  libdrm-dev libgpiod-dev libpng-dev clang-14 libclang-rt-14-dev)
board_packages=()
[ "${1:-}" = "--board" ] && board_packages=(g++-aarch64-linux-gnu libdrm-dev:arm64 libgpiod-dev:arm64)

# The packages of a list that are not installed; "name:arch" asks for that
# architecture, a bare name for this machine's (or an architecture-free one).
missing_of() {
  local p name arch
  for p in "$@"; do
    name=${p%%:*}
    arch=${p#*:}
    [ "$arch" = "$p" ] && arch=$(dpkg --print-architecture)
    dpkg-query -W -f='${Status} ${Architecture}\n' "$name" 2>/dev/null |
      grep -qE "^install ok installed ($arch|all)\$" || echo "$p"
  done
}
mapfile -t missing < <(missing_of "${packages[@]}")
mapfile -t board_missing < <(missing_of ${board_packages[@]+"${board_packages[@]}"})
[ ${#missing[@]} -eq 0 ] && [ ${#board_missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if [ ${#board_missing[@]} -gt 0 ]; then
  $sudo dpkg --add-architecture arm64 || true
fi
echo "Installing: ${missing[*]} ${board_missing[*]}"
$sudo apt-get update -qq || [ ${#missing[@]} -eq 0 ]
if [ ${#missing[@]} -gt 0 ]; then
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
if [ ${#board_missing[@]} -gt 0 ] &&
  ! $sudo apt-get install -y -qq --no-install-recommends "${board_missing[@]}" >/dev/null; then
  echo "warning: the board's cross compiler and arm64 libraries could not be installed"
fi
