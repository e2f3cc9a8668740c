#!/usr/bin/env bash
# Installs the Debian packages the program needs to build, run, be tested and
# be packaged (dpkg-dev and file for CPack, lintian for its check; postgresql
# and Qt's driver for it for the tests on a server); packages already
# installed are skipped. "install-deps.sh sanitize" adds
# clang and its sanitizer and libFuzzer runtimes, for the sanitizer run of the
# tests (VELMORA_SANITIZE=1 scripts/test.sh) and scripts/fuzz.sh.
set -euo pipefail
packages=(
  cmake g++ make pkg-config sqlite3 libsqlite3-dev
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libgl-dev
  # The sales summary's chart; Qt6Charts' CMake files look for Qt6OpenGL,
  # which Debian's qt6-charts-dev does not pull in.
  qt6-charts-dev libqt6opengl6-dev
  libxlsxwriter-dev python3 python3-openpyxl
  libcups2-dev cups printer-driver-cups-pdf poppler-utils
  postgresql libqt6sql6-psql
  fonts-noto-cjk fonts-liberation2
  xvfb xauth
  dpkg-dev file lintian
)
if [ "${1:-}" = sanitize ]; then
  packages+=(clang-14 libclang-rt-14-dev llvm-14)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
