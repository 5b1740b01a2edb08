#!/usr/bin/env bash
# Soak run: Kestrune in a temporary program folder against the simulator for a bounded time.
# bench/soak.py sends remote commands and scans while it injects random faults into the simulated
# instrument (delays, noise, echo, split replies, lost replies, CR LF, unplug and plug); it samples
# the program's resident memory and open descriptors and fails when they grow beyond the bounds.
# At the end the program is closed with SIGTERM and must end normally.
#
#   scripts/soak.sh [--duration SECONDS] [--seed N] [--build DIR] [--rss-growth-kb KB]
#                   [--fd-growth N] [--sample-every SECONDS] [--debug-log] [--keep]
#
# Defaults: 180 s, a random seed (printed), build/, 8192 kB, 4 descriptors, 30 s. --debug-log
# turns on the program's communication log (its file grows all along, the memory must not);
# --keep leaves the folder with the settings, the log and the simulator's output afterwards.
# A sanitizer build holds freed memory back in its quarantine (up to 256 MB), so its RSS says
# nothing about leaks; give it a large --rss-growth-kb and rely on its leak report at the close.
set -euo pipefail
cd "$(dirname "$0")/.."

duration=180
seed=$((RANDOM * 32768 + RANDOM))
build=build
rss_growth=8192
fd_growth=4
sample_every=30
keep=0
debug=0
while [ $# -gt 0 ]; do
    case "$1" in
        --duration) duration=$2; shift 2 ;;
        --seed) seed=$2; shift 2 ;;
        --build) build=$2; shift 2 ;;
        --rss-growth-kb) rss_growth=$2; shift 2 ;;
        --fd-growth) fd_growth=$2; shift 2 ;;
        --sample-every) sample_every=$2; shift 2 ;;
        --debug-log) debug=1; shift ;;
        --keep) keep=1; shift ;;
        -h|--help) sed -n '2,17p' "$0"; exit 0 ;;
        *) echo "unknown option: $1" >&2; exit 2 ;;
    esac
done

python=/usr/bin/python3
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target kestrune kestrune-sim >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrune-soak.XXXXXX")
sim_pid=
program_pid=
cleanup() {
    [ -n "$program_pid" ] && kill -TERM "$program_pid" 2>/dev/null && wait "$program_pid" 2>/dev/null
    [ -n "$sim_pid" ] && kill -TERM "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    if [ "$keep" = 1 ]; then echo "kept: $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

# The program's own folder, with the simulator as its only serial port.
cp "$build/bin/kestrune" "$work/kestrune"
mkdir -p "$work/Ports"
port=$("$python" -c 'import socket; s = socket.socket(); s.bind(("", 0)); print(s.getsockname()[1])')
printf '[Info]\nType=Kestrune v1\n[ComPort]\nPortName=COM1\n[Device]\nDebugMode=%s\n[Remote]\nPortNum=%s\n' \
    "$debug" "$port" >"$work/RedeRedirada.ini"

"$build/bin/kestrune-sim" --folder "$work" --port 1 --install-cal --fast --range 563.5-645.0 \
    --control "$work/sim-control" >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
for _ in $(seq 100); do
    grep -q '^READY' "$work/sim.out" && break
    kill -0 "$sim_pid" 2>/dev/null || { cat "$work/sim.err"; exit 1; }
    sleep 0.1
done
grep -q '^READY' "$work/sim.out" || { echo "the simulator did not start"; exit 1; }

# A sanitizer build (--build build-asan) reports at its end; the toolkit's own caches are known.
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/support/lsan.supp:print_suppressions=0}
(cd / && QT_QPA_PLATFORM=offscreen exec "$work/kestrune" >"$work/kestrune.out" 2>"$work/kestrune.err") &
program_pid=$!
echo "soak: ${duration} s, seed $seed, remote port $port, program pid $program_pid"

status=0
"$python" bench/soak.py --port "$port" --control "$work/sim-control" --pid "$program_pid" \
    --duration "$duration" --seed "$seed" --sample-every "$sample_every" \
    --rss-growth-kb "$rss_growth" --fd-growth "$fd_growth" || status=$?

kill -TERM "$program_pid"
program_status=0
wait "$program_pid" || program_status=$?
program_pid=
if [ "$program_status" != 0 ]; then
    echo "FAIL: the program ended with status $program_status on SIGTERM"
    tail -20 "$work/kestrune.err"
    status=1
elif ! grep -q "^BaudRate=38400" "$work/RedeRedirada.ini"; then
    echo "FAIL: the settings were not written back at the close"
    status=1
else
    echo "the program closed normally and wrote its settings"
fi
exit "$status"
