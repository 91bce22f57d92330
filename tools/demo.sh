#!/usr/bin/env bash
# Builds the program, writes the demo practice database and starts the program on it.
# Usage: bash tools/demo.sh [--paradox]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

DEMO="$BUILD/demo"
"$BUILD/AldurixDemo" --out "$DEMO" --program-dir "$BUILD" --force "$@"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "Aucun affichage graphique (DISPLAY vide) : lancez « xvfb-run -a bash tools/demo.sh » pour démarrer Aldurix sur un écran virtuel." >&2
  exit 3
fi
exec "$BUILD/Aldurix"
