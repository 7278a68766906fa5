#!/usr/bin/env bash
# Installs the Debian packages a set needs, when missing, with apt (as root, or through sudo).
# Usage: scripts/install-deps.sh [run|test]
#   run   what building and starting the program needs (`make run`)
#   test  that, and what the tests, the benchmarks and the fuzzer need (the default)
set -euo pipefail

RUN_PKGS=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-translations-l10n qt6-svg-dev
  libjpeg62-turbo-dev
  fonts-liberation2
)
TEST_PKGS=(
  pxlib-dev libbenchmark-dev
  poppler-utils xvfb xauth xdotool
  lintian man-db
  cups cups-client printer-driver-cups-pdf
  clang libclang-rt-14-dev
)

case "${1:-test}" in
  run) PKGS=("${RUN_PKGS[@]}") ;;
  test) PKGS=("${RUN_PKGS[@]}" "${TEST_PKGS[@]}") ;;
  *) echo "usage: $0 [run|test]" >&2; exit 2 ;;
esac

missing=()
for p in "${PKGS[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
echo "Installing: ${missing[*]}"
$SUDO apt-get -o DPkg::Lock::Timeout=300 update -q
$SUDO apt-get -o DPkg::Lock::Timeout=300 install -y -q --no-install-recommends "${missing[@]}"
