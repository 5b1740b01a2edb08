#!/usr/bin/env bash
# Installs what is missing, builds, and starts Kestrune against the bundled instrument simulator.
# The program runs from its own folder, build/demo, where the simulator appears as COM1
# (build/demo/Ports/COM1) and has put its calibration table into Cal/. Without a display the
# program runs headless (offscreen); drive it over the remote protocol on port 5050.
#
#   scripts/run.sh               as above
#   scripts/run.sh --first-run   as a new operator meets it: Cal/ is deleted and the simulator
#                                does not install its copy, so Kestrune asks for the calibration file
set -euo pipefail
cd "$(dirname "$0")/.."

install_cal=--install-cal
case "${1:-}" in
    "") ;;
    --first-run) install_cal= ;;
    *) echo "usage: scripts/run.sh [--first-run]" >&2; exit 2 ;;
esac
scripts/install-deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)" --target kestrune kestrune-sim

demo=build/demo
mkdir -p "$demo"
cp -f build/bin/kestrune "$demo/kestrune"
[ -n "$install_cal" ] || rm -rf "$demo/Cal"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    export QT_QPA_PLATFORM=offscreen
    echo "No display: Kestrune runs headless. Try:  printf 'VER\\r' | nc -q1 127.0.0.1 5050"
fi

sim_out=$(mktemp)
build/bin/kestrune-sim --folder "$demo" --port 1 $install_cal --write-cal "$demo" >"$sim_out" 2>&1 &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; rm -f "$sim_out"' EXIT
for _ in $(seq 100); do
    grep -q '^READY' "$sim_out" && break
    kill -0 "$sim_pid" 2>/dev/null || { cat "$sim_out"; exit 1; }
    sleep 0.1
done
cat "$sim_out"

echo "Starting Kestrune in $demo (the simulator is COM1; stop with Ctrl+C)."
"$demo/kestrune"
