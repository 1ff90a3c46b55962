#!/usr/bin/env bash
# Starts or stops a throwaway PostgreSQL 15 cluster listening only on a Unix
# socket in DIR, for the tests. PostgreSQL refuses to run as root, so as root
# the server runs as the postgres user.
#
#   scripts/pg_cluster.sh start DIR   prints the connect string of database lxm_test
#   scripts/pg_cluster.sh stop DIR    stops the cluster and removes DIR
set -euo pipefail

usage() { echo "usage: $0 start|stop DIR" >&2; exit 2; }
[ $# -eq 2 ] || usage
action="$1"
dir="$2"
bin="${PG_BIN:-/usr/lib/postgresql/15/bin}"
port="${PG_PORT:-54329}"

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

case "$action" in
  start)
    mkdir -p "$dir"
    dir="$(cd "$dir" && pwd)"
    chmod 700 "$dir"
    [ "$(id -u)" -eq 0 ] && chown postgres:postgres "$dir"
    as_owner "$bin/initdb" -D "$dir/data" -A trust -U postgres -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log"
    as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/log" -w \
      -o "-k $dir -p $port -c listen_addresses='' -c fsync=off" start >/dev/null
    as_owner "$bin/createdb" -h "$dir" -p "$port" -U postgres lxm_test
    echo "Provider=PostgreSQL;Host=$dir;Port=$port;Database=lxm_test;User ID=postgres;Password=unused"
    ;;
  stop)
    [ -d "$dir/data" ] || exit 0
    as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null || true
    rm -rf "$dir"
    ;;
  *) usage ;;
esac
