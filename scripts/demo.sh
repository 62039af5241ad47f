#!/usr/bin/env bash
# Pentrel demo: builds and installs everything into a folder of its own, lays out a drive root with a
# simulated UPS, and runs Apache httpd with the filter on 127.0.0.1 until Ctrl-C.
#
#   scripts/demo.sh            (as root on Debian 12 it installs the packages it needs first)
#   scripts/demo.sh --nut      the same UPS file read by a real upsd with NUT's dummy-ups driver,
#                              which the filter reaches over the network protocol
#
# Environment: PENTREL_DEMO_DIR (default /tmp/pentrel-demo), PENTREL_DEMO_PORT (8088),
# PENTREL_DEMO_BUILD (build/demo in the source tree), PENTREL_DEMO_NUT_PORT (34930). The system's
# Apache and NUT are not touched.
set -euo pipefail

use_nut=0
case "${1:-}" in
  "") ;;
  --nut) use_nut=1 ;;
  *) echo "usage: $0 [--nut]" >&2; exit 2 ;;
esac
nut_port=${PENTREL_DEMO_NUT_PORT:-34930}

src=$(cd "$(dirname "$0")/.." && pwd)
demo=${PENTREL_DEMO_DIR:-/tmp/pentrel-demo}
port=${PENTREL_DEMO_PORT:-8088}
build=${PENTREL_DEMO_BUILD:-$src/build/demo}
modules=/usr/lib/apache2/modules

say() { printf '\n== %s\n' "$*"; }

need_packages() {
  local tool
  for tool in apache2 apxs cmake ninja g++; do
    command -v "$tool" >/dev/null 2>&1 || [ -x "/usr/sbin/$tool" ] || return 0
  done
  [ -f /usr/include/gtest/gtest.h ] || return 0
  [ "$use_nut" -eq 0 ] || [ -x /lib/nut/upsd ] || return 0
  return 1
}

if need_packages; then
  if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
    say "Installing packages"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends apache2 apache2-dev cmake ninja-build g++ \
      libgtest-dev ca-certificates
    [ "$use_nut" -eq 0 ] || apt-get install -y --no-install-recommends nut-server nut-client
  else
    echo "Missing build tools: run as root on Debian, or install apache2 apache2-dev cmake" \
         "ninja-build g++ libgtest-dev." >&2
    exit 1
  fi
fi

say "Building into $build"
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPENTREL_BUILD_TESTS=OFF \
  -DCMAKE_INSTALL_PREFIX="$demo/inst" >/dev/null
cmake --build "$build" -j2
say "Installing into $demo/inst"
rm -rf "$demo/inst"
cmake --install "$build" >/dev/null

# The drive root: registry, C:\temp (trace log, battery marker), the simulated UPS.
mkdir -p "$demo/root/c/temp" "$demo/logs" "$demo/run"
cp "$demo/inst/share/pentrel/site/pentrel.reg" "$demo/root/registry.reg"
export PENTREL_UPS_FILE="$demo/ups.dev"
[ -f "$PENTREL_UPS_FILE" ] || "$src/scripts/ups" online >/dev/null
rm -f "$demo/root/c/temp/upsonbatt.txt"

user_lines=""
if [ "$(id -u)" -eq 0 ]; then
  # Debian's apache2 will not serve as root: the children run as www-data and need to read the
  # install and write C:\temp.
  user_lines=$'User www-data\nGroup www-data'
  chown -R www-data:www-data "$demo/root/c/temp"
fi
chmod -R a+rX "$demo"

site="$demo/inst/share/pentrel/site"
cat >"$demo/httpd.conf" <<CONF
# The demo's own Apache configuration; written by scripts/demo.sh.
ServerRoot "$demo"
ServerName 127.0.0.1
Listen 127.0.0.1:$port
PidFile "$demo/run/httpd.pid"
DefaultRuntimeDir "$demo/run"
ErrorLog "$demo/logs/error.log"
LogFormat "%h %l %u %t \"%r\" %>s %b" common
CustomLog "$demo/logs/access.log" common
$user_lines
LoadModule mpm_event_module $modules/mod_mpm_event.so
LoadModule authz_core_module $modules/mod_authz_core.so
LoadModule mime_module $modules/mod_mime.so
LoadModule alias_module $modules/mod_alias.so
LoadModule cgid_module $modules/mod_cgid.so
LoadModule dir_module $modules/mod_dir.so
TypesConfig /etc/mime.types
ScriptSock "$demo/run/cgid.sock"
DocumentRoot "$site/htdocs"
DirectoryIndex index.htm
<Directory />
  AllowOverride None
  Require all denied
</Directory>
<Directory "$site/htdocs">
  Require all granted
</Directory>
# The snippet an operator drops into conf-available/, as installed.
Include "$demo/inst/share/pentrel/apache/pentrel.conf"
CONF

export PENTREL_ROOT="$demo/root"
export KIVLINK_UPS="sim:$PENTREL_UPS_FILE"

nut_pids=()
stop_nut() {
  local pid
  for pid in "${nut_pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${nut_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}
if [ "$use_nut" -eq 1 ]; then
  # A private upsd on loopback whose dummy-ups driver reads the same file that scripts/ups writes.
  say "Starting upsd with dummy-ups on 127.0.0.1:$nut_port"
  nut="$demo/nut"
  mkdir -p "$nut/conf" "$nut/state"
  printf '[demo]\n  driver = dummy-ups\n  port = %s\n  desc = "Pentrel demo UPS"\n' \
    "$PENTREL_UPS_FILE" >"$nut/conf/ups.conf"
  printf 'LISTEN 127.0.0.1 %s\n' "$nut_port" >"$nut/conf/upsd.conf"
  : >"$nut/conf/upsd.users"
  chmod 0640 "$nut/conf/"*
  export NUT_CONFPATH="$nut/conf" NUT_STATEPATH="$nut/state" NUT_ALTPIDPATH="$nut/state"
  /lib/nut/dummy-ups -a demo -u root -F >"$demo/logs/dummy-ups.log" 2>&1 &
  nut_pids+=($!)
  sleep 1
  /lib/nut/upsd -u root -F >"$demo/logs/upsd.log" 2>&1 &
  nut_pids+=($!)
  trap stop_nut EXIT
  for _ in $(seq 50); do
    "$demo/inst/bin/kivlink-query" "nut://127.0.0.1:$nut_port/demo" >/dev/null 2>&1 && break
    sleep 0.2
  done
  export KIVLINK_UPS="nut://127.0.0.1:$nut_port/demo"
  "$demo/inst/bin/kivlink-query" "$KIVLINK_UPS" || echo "warning: upsd does not answer yet" >&2
fi
apache2 -f "$demo/httpd.conf" -t

say "Starting Apache"
apache2 -f "$demo/httpd.conf" -DFOREGROUND &
httpd=$!
stop() {
  trap - INT TERM
  echo
  say "Stopping Apache"
  kill -TERM "$httpd" 2>/dev/null || true
  wait "$httpd" 2>/dev/null || true
  stop_nut
  exit 0
}
trap stop INT TERM

cat <<TEXT

Pentrel demo running: http://127.0.0.1:$port/index.htm   (second page: /about.htm)

Switch the simulated UPS from another terminal:
  PENTREL_UPS_FILE=$PENTREL_UPS_FILE $src/scripts/ups battery 12
  PENTREL_UPS_FILE=$PENTREL_UPS_FILE $src/scripts/ups online
  PENTREL_UPS_FILE=$PENTREL_UPS_FILE $src/scripts/ups down
(PENTREL_UPS_FILE can be left out while the demo uses /tmp/pentrel-demo.)
UPS the filter reads: $KIVLINK_UPS

Filter trace: $demo/root/c/temp/err.txt   Apache log: $demo/logs/error.log
Ctrl-C stops the server.
TEXT
wait "$httpd"
