#!/usr/bin/env bash
# Installs the Debian packages the project builds with and, with --board,
# what builds and runs it for the board's processor (AArch64): the cross
# compiler, qemu's user-mode emulator and, by multiarch, the arm64 libraries
# of the board build and of the tests. Quiet and quick when everything is
# there already. Where the board's packages cannot be installed, a warning
# says so (see scripts/test.sh for what then runs).
set -euo pipefail
packages=(cmake ninja-build g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev
  libdrm-dev libgpiod-dev libpng-dev clang-14 libclang-rt-14-dev)
board_packages=()
[ "${1:-}" = "--board" ] && board_packages=(g++-aarch64-linux-gnu qemu-user
  libdrm-dev:arm64 libgpiod-dev:arm64 libgtest-dev:arm64 libgmock-dev:arm64 libpng-dev:arm64)

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
