#!/usr/bin/env bash
# Builds the program, writes the demo practice database and starts the program on it.
# The demo opens as a directory of Paradox tables; with --sqlite, as the SQLite copy.
# Usage: bash tools/demo.sh [--sqlite]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

DEMO="$BUILD/demo"
FORMAT=(--paradox)
if [ "${1:-}" = "--sqlite" ]; then FORMAT=(); fi
"$BUILD/AldurixDemo" --out "$DEMO" --program-dir "$BUILD" --force "${FORMAT[@]}"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "Aucun affichage graphique (DISPLAY vide) : lancez « xvfb-run -a bash tools/demo.sh » pour démarrer Aldurix sur un écran virtuel." >&2
  exit 3
fi
exec "$BUILD/Aldurix"
