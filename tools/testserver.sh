#!/usr/bin/env bash
# A throw-away PostgreSQL server for the tests of the database-server path,
# reached through unixODBC and the PostgreSQL ODBC driver as a practice's
# SQL Server is reached through FreeTDS. Sourced by tools/test.sh:
#   serveur_demarrer   installs what is missing, creates a cluster in a
#                      temporary directory, starts it on a Unix socket only
#                      and exports ALDURIX_TEST_SERVER (an ODBC connection
#                      string without a database); on any failure it says
#                      why and leaves the variable unset (the tests skip).
#   serveur_arreter    stops the server and removes the directory.
# As root the server runs as the unprivileged "postgres" account that the
# Debian package creates; otherwise as the current user.

ALDURIX_PG_DIR=""

serveur_demarrer() {
  local paquets=(postgresql odbc-postgresql unixodbc)
  local manquants=()
  for p in "${paquets[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || manquants+=("$p")
  done
  if [ "${#manquants[@]}" -gt 0 ]; then
    if [ "$(id -u)" -eq 0 ]; then
      echo "Installation de : ${manquants[*]}"
      DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${manquants[@]}" >/dev/null 2>&1 \
        || { apt-get update -qq >/dev/null 2>&1 && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${manquants[@]}" >/dev/null 2>&1; } \
        || { echo "Serveur de test : impossible d'installer ${manquants[*]} ; les tests sur serveur seront sautés."; return 0; }
    else
      echo "Serveur de test : ${manquants[*]} manquant(s) et pas de droits root ; les tests sur serveur seront sautés."
      return 0
    fi
  fi

  local bin
  bin="$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)"
  if [ -z "$bin" ] || [ ! -x "$bin/initdb" ]; then
    echo "Serveur de test : initdb introuvable ; les tests sur serveur seront sautés."
    return 0
  fi
  if ! odbcinst -q -d -n "PostgreSQL Unicode" >/dev/null 2>&1; then
    echo "Serveur de test : pilote ODBC « PostgreSQL Unicode » non déclaré ; les tests sur serveur seront sautés."
    return 0
  fi

  ALDURIX_PG_DIR="$(mktemp -d /tmp/aldurix-pg.XXXXXX)"
  local comme=()
  if [ "$(id -u)" -eq 0 ]; then
    chown postgres: "$ALDURIX_PG_DIR"
    comme=(runuser -u postgres --)
  fi
  if ! "${comme[@]}" "$bin/initdb" -D "$ALDURIX_PG_DIR/data" -U aldurix -A trust -E UTF8 --locale=C.UTF-8 \
        >"$ALDURIX_PG_DIR/initdb.log" 2>&1; then
    echo "Serveur de test : initdb a échoué ; les tests sur serveur seront sautés."
    tail -n 5 "$ALDURIX_PG_DIR/initdb.log"
    return 0
  fi
  # No TCP at all: the socket in our own directory cannot meet another server.
  if ! "${comme[@]}" "$bin/pg_ctl" -D "$ALDURIX_PG_DIR/data" -l "$ALDURIX_PG_DIR/server.log" -w -t 60 \
        -o "-c listen_addresses='' -k $ALDURIX_PG_DIR -c fsync=off -c max_connections=200" start >/dev/null 2>&1; then
    echo "Serveur de test : le démarrage a échoué ; les tests sur serveur seront sautés."
    tail -n 5 "$ALDURIX_PG_DIR/server.log" 2>/dev/null
    return 0
  fi
  ALDURIX_PG_BIN="$bin"
  # Flags as flags (SQL_BIT), as SQL Server's BIT columns come through FreeTDS.
  export ALDURIX_TEST_SERVER="DRIVER={PostgreSQL Unicode};SERVER=$ALDURIX_PG_DIR;PORT=5432;UID=aldurix;BoolsAsChar=0"
  echo "Serveur de test PostgreSQL démarré ($ALDURIX_PG_DIR)."
}

serveur_arreter() {
  [ -n "$ALDURIX_PG_DIR" ] || return 0
  local comme=()
  [ "$(id -u)" -eq 0 ] && comme=(runuser -u postgres --)
  "${comme[@]}" "$ALDURIX_PG_BIN/pg_ctl" -D "$ALDURIX_PG_DIR/data" -m immediate stop >/dev/null 2>&1 || true
  rm -rf "$ALDURIX_PG_DIR"
  ALDURIX_PG_DIR=""
}
