#!/usr/bin/env bash
# Installs what the build needs (Debian 12, as root) and builds everything.
# Sourced by tools/demo.sh and tools/test.sh.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ALDURIX_BUILD:-$ROOT/build}"

PACKAGES=(build-essential cmake pkg-config
          qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-odbc qt6-translations-l10n libgl-dev
          libsqlite3-dev pxlib-dev unixodbc unixodbc-dev tdsodbc
          poppler-utils fonts-dejavu-core xvfb xauth x11-apps imagemagick)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  echo "Installation de : ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j"$(nproc)"
