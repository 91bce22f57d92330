#!/usr/bin/env bash
# Builds everything and runs every test (no display needed). A throw-away
# PostgreSQL server is started for the tests of the database-server path
# and stopped at the end, whatever happens.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
source "$ROOT/tools/testserver.sh"

trap serveur_arreter EXIT
serveur_demarrer

export QT_QPA_PLATFORM=offscreen
cd "$BUILD"
ctest --output-on-failure --timeout 900 -j2
