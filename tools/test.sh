#!/usr/bin/env bash
# Builds everything and runs every test (no display needed).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"

export QT_QPA_PLATFORM=offscreen
cd "$BUILD"
ctest --output-on-failure --timeout 900 -j2
