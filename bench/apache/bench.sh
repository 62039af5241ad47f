#!/usr/bin/env bash
# Requests per second of one Apache, with and without the ISAPI filter, measured with wrk.
#   bench/apache/bench.sh [BUILD_DIR] [SECONDS]      (BUILD_DIR default: build/e2e, the e2e preset)
# Runs: no filter; filter with the UPS on line; filter on battery (every page answered wrapped).
set -euo pipefail

src=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$src/build/e2e}" && pwd)
seconds=${2:-10}
modules=/usr/lib/apache2/modules
command -v wrk >/dev/null || { echo "wrk is needed (apt-get install wrk)" >&2; exit 1; }

work=$(mktemp -d /tmp/pentrel-bench-XXXXXX)
httpd=
cleanup() {
  [ -n "$httpd" ] && kill -TERM "$httpd" 2>/dev/null && wait "$httpd" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/root/c/temp" "$work/logs" "$work/run" "$work/lib" "$work/cgi-bin"
cp -r "$src/site/htdocs" "$src/site/pt_wrap.htm" "$work/"
cp "$build/filter/PENTREL.so" "$build/kivlink/libkivlink.so" "$work/lib/"
cp "$build/statuspage/pt_notfy" "$work/cgi-bin/"
printf 'Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ORV\\Pentrel for MSIIS\\1.0]\n"Wrapper File"="%s"\n' \
  "$work/pt_wrap.htm" >"$work/root/registry.reg"
chmod -R a+rX "$work"
user=""
if [ "$(id -u)" -eq 0 ]; then
  user=$'User www-data\nGroup www-data'
  chown www-data "$work/root/c/temp"
fi
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')

ups() { printf '%s\n' "$@" >"$work/ups.new" && chmod 644 "$work/ups.new" && mv "$work/ups.new" "$work/ups.dev"; }

run() {  # label, with-filter (0/1), url
  local filter=""
  [ "$2" = 1 ] && filter="LoadModule isapi_filter_module $build/apache/mod_isapi_filter.so
IsapiFilter $work/lib/PENTREL.so"
  cat >"$work/httpd.conf" <<CONF
ServerRoot "$work"
ServerName 127.0.0.1
Listen 127.0.0.1:$port
PidFile "$work/run/httpd.pid"
DefaultRuntimeDir "$work/run"
ErrorLog "$work/logs/error.log"
$user
LoadModule mpm_event_module $modules/mod_mpm_event.so
LoadModule authz_core_module $modules/mod_authz_core.so
LoadModule mime_module $modules/mod_mime.so
LoadModule alias_module $modules/mod_alias.so
LoadModule dir_module $modules/mod_dir.so
TypesConfig /etc/mime.types
DocumentRoot "$work/htdocs"
<Directory "$work/htdocs">
  Require all granted
</Directory>
MaxKeepAliveRequests 0
$filter
CONF
  PENTREL_ROOT="$work/root" KIVLINK_UPS="sim:$work/ups.dev" LD_LIBRARY_PATH="$work/lib" \
    apache2 -f "$work/httpd.conf" -DFOREGROUND &
  httpd=$!
  for _ in $(seq 100); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.1; done
  local rps
  rps=$(wrk -t2 -c16 -d"${seconds}s" "http://127.0.0.1:$port$3" | awk '/Requests\/sec/ {print $2}')
  printf '%-34s %10s requests/s\n' "$1" "$rps"
  kill -TERM "$httpd"; wait "$httpd" 2>/dev/null || true; httpd=
  # The trace log grows with every filtered request; start each run afresh.
  rm -f "$work/root/c/temp/err.txt"
}

echo "wrk, 2 threads, 16 connections, ${seconds}s each, $(nproc) cores"
ups "ups.status: OL" "battery.runtime: 3600"
run "no filter, /index.htm" 0 /index.htm
run "filter, UPS on line, /index.htm" 1 /index.htm
run "filter, UPS on line, picture" 1 /pentrel/online.gif
ups "ups.status: OB DISCHRG" "battery.runtime: 600"
run "filter, on battery (wrapped page)" 1 /index.htm
