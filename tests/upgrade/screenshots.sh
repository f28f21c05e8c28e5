#!/usr/bin/env bash
# Screenshots of the upgrade module windows under Xvfb with the Win32 backend:
#   tests/upgrade/screenshots.sh BUILD_DIR OUT_DIR
# writes upgrade-fetch.png, upgrade-send.png, upgrade-manager.png, packing-window.png and
# transfer-window.png (the last two while a program is published to a throttled loopback
# server). Every process it starts is stopped by its id.
set -euo pipefail
build=$(cd "$1" && pwd)
out=$(mkdir -p "$2" && cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
exe="$build/tests/upgrade/upgrade_screens.exe"
export WINEDEBUG=-all
plain() { sed -n "s/^#define KOREKTA_PLAIN_$1 u8\"\(.*\)\"$/\1/p" "$build/generated/deploy/DeployPlain.h"; }

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=$display
sleep 1

# Waits up to $2 seconds for a visible window named exactly $1; prints its id.
wait_window() {
  local caption=$1 limit=$2 i id
  for ((i = 0; i < limit * 10; i++)); do
    for id in $(xdotool search --onlyvisible --name "" 2>/dev/null); do
      if [[ "$(xdotool getwindowname "$id" 2>/dev/null)" == "$caption" ]]; then
        echo "$id"
        return 0
      fi
    done
    sleep 0.1
  done
  return 1
}

shoot() { # caption, file, pause before the shot
  local id
  id=$(wait_window "$1" 60) || { echo "no window \"$1\"" >&2; return 1; }
  sleep "$3"
  import -window "$id" "$out/$2"
  echo "wrote $out/$2"
}

for page in fetch send manager; do
  wine "$exe" "$page" >/dev/null 2>&1 &
  pid=$!
  pids+=($pid)
  case $page in
    fetch) shoot "UPGRADE QVX*" upgrade-fetch.png 1.5 ;;
    send) shoot "UPGRADE QVX*" upgrade-send.png 1.5 ;;
    manager) shoot "  UPGRADE MANAGER*" upgrade-manager.png 1.5 ;;
  esac
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
done

# Publishing a large program: packing it shows the packing window, uploading it the
# transfer window.
mkdir -p "$work/root/Upgrade" "$work/Brondel"
head -c 24000000 /dev/urandom >"$work/Brondel/Dunvel.exe"
/usr/bin/python3 "$here/throttled_ftp_server.py" "$work/root" "$(plain USER)" "$(plain PASSWORD)" \
  >"$work/port" 2>/dev/null &
pids+=($!)
for _ in $(seq 50); do [[ -s "$work/port" ]] && break; sleep 0.1; done
wine "$exe" publish "$(winepath -w "$work/Brondel/Dunvel.exe")" "$(cat "$work/port")" \
  >/dev/null 2>&1 &
pid=$!
pids+=($pid)
shoot "  KOMPRESJA DANYCH*" packing-window.png 0.5
shoot "  PRZERZUT NA/Z FTP*" transfer-window.png 5
wait "$pid" 2>/dev/null || true
