#!/usr/bin/env bash
# The Debian package of a finished build configured with -DKESTRUNE_DEB=ON: CPack makes it,
# lintian reports nothing that the package does not override (no hardening tag either), it holds
# the Debian layout and control fields, and its unit passes systemd-analyze verify and rates 4.0
# or lower in systemd-analyze security. The unpacked copy then works as an upgraded installation:
# the data an earlier package left in /opt/kestrune moves to the data folder, no operator can
# write or rename where the executables are, and two operators (other users, both in dialout,
# umask 022) take turns, each run in a private mount namespace where the copy appears at its
# installed paths. The first runs as the service would, under the unit's restrictions that apply
# without systemd, against the simulator until a SETC succeeds; its standard error must hold
# "Device ready." as a notice. The second's run reads and replaces the settings the first one's
# wrote. A user outside dialout is told once why the port stays shut. A purge keeps Scans/ and
# Log/. Nothing is installed into this machine.
#
#   tests/install/package_test.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/kestrune-package.XXXXXX")
program=
sim=
cleanup() {
    for pid in $program $sim; do
        kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
started=$SECONDS

# --- The package and what lintian says of it.
grep -qx 'KESTRUNE_DEB:BOOL=ON' "$build/CMakeCache.txt" || fail "$build is not configured with -DKESTRUNE_DEB=ON"
cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack"; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
deb=$work/out/kestrune_${version}_${arch}.deb
[ -f "$deb" ] || fail "cpack made no $(basename "$deb")"
# Informational tags too: that is where lintian puts hardening-no-fortify-functions.
lintian --fail-on error,warning --display-info "$deb" >"$work/lintian.out" 2>"$work/lintian.err" ||
    { cat "$work/lintian.out" "$work/lintian.err"; fail "lintian"; }
echo "lintian: $(cat "$work/lintian.out")"
! grep -q 'hardening-' "$work/lintian.out" || fail "lintian finds the programs unhardened"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = kestrune ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ -n "$(field Maintainer)" ] && [ -n "$(field Description)" ] || fail "no Maintainer or Description"
# The libraries come from shlibdeps; the rest are loaded at run time.
depends=$(field Depends)
for dep in libqt6widgets6 libqt6serialport6 libqt6network6 qt6-qpa-plugins fonts-dejavu-core acl; do
    grep -qE "(^|, )$dep( |,|$)" <<<"$depends" || fail "Depends lacks $dep: $depends"
done

# Exactly these files, all root's: nothing the operators' runs write may come with the package,
# or an upgrade would overwrite it.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { s = $6; for (i = 7; i <= NF; i++) s = s " " $i; sub(/^\.\//, "", s); print s }' |
    sort >"$work/files"
sort >"$work/expected" <<'EOF'
usr/bin/kestrune -> ../lib/kestrune/kestrune
usr/bin/kestrune-sim -> ../lib/kestrune/kestrune-sim
usr/lib/kestrune/kestrune
usr/lib/kestrune/kestrune-sim
usr/lib/systemd/system/kestrune-headless@.service
usr/share/applications/kestrune.desktop
usr/share/doc/kestrune/70-kestrune.rules
usr/share/doc/kestrune/README.md
usr/share/doc/kestrune/changelog.gz
usr/share/doc/kestrune/copyright
usr/share/doc/kestrune/remote-protocol.md
usr/share/icons/hicolor/64x64/apps/kestrune.png
usr/share/lintian/overrides/kestrune
EOF
diff -u "$work/expected" "$work/files" || fail "the package's files differ"
dpkg-deb -c "$deb" | awk '$2 != "root/root" || ($1 !~ /^l/ && $1 ~ /w.$|^.....w/)' >"$work/writable"
[ ! -s "$work/writable" ] || { cat "$work/writable"; fail "files not root's alone"; }

# --- The Python side, built beside it: lintian-clean, its fields and files.
pydeb=$work/out/python3-kestrune_${version}_all.deb
"$(dirname "$0")/../../packaging/python3-kestrune/make-deb.sh" "$work/out" "$version"
lintian --fail-on error,warning "$pydeb" >"$work/lintian-py.out" 2>"$work/lintian-py.err" ||
    { cat "$work/lintian-py.out" "$work/lintian-py.err"; fail "lintian python3-kestrune"; }
pyfield() { dpkg-deb -f "$pydeb" "$1"; }
[ "$(pyfield Architecture)" = all ] && [ "$(pyfield Depends)" = python3 ] ||
    fail "python3-kestrune: Architecture $(pyfield Architecture), Depends $(pyfield Depends)"
[ "$(pyfield Suggests)" = "python3-pymeasure, python3-pyvisa-py, python3-tango" ] ||
    fail "python3-kestrune Suggests: $(pyfield Suggests)"
dpkg-deb -c "$pydeb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | sort >"$work/pyfiles"
sort >"$work/pyexpected" <<'EOF'
usr/lib/python3/dist-packages/kestrune/__init__.py
usr/lib/python3/dist-packages/kestrune/client.py
usr/lib/python3/dist-packages/kestrune/pymeasure.py
usr/lib/python3/dist-packages/kestrune/tango.py
usr/lib/systemd/system/kestrune-tango@.service
usr/share/doc/python3-kestrune/README.md
usr/share/doc/python3-kestrune/changelog.gz
usr/share/doc/python3-kestrune/copyright
EOF
diff -u "$work/pyexpected" "$work/pyfiles" || fail "python3-kestrune's files differ"

# --- The unpacked copy, its folder as postinst leaves it, with the Python side beside it,
# imported from there by the system's python3.
root=$work/root
dir=$root/var/lib/kestrune
dpkg-deb -x "$deb" "$root"
dpkg-deb -x "$pydeb" "$root"
pypath=$root/usr/lib/python3/dist-packages
/usr/bin/python3 -s - "$pypath" <<'EOF' || fail "python3-kestrune does not import from $pypath"
import sys
sys.path.insert(0, sys.argv[1])
import kestrune, kestrune.pymeasure, kestrune.tango
assert kestrune.__file__.startswith(sys.argv[1]), kestrune.__file__
EOF
dpkg-deb -e "$deb" "$work/control"
chmod 755 "$work"

# --- The unit, with its program pointed at the copy, and how exposed it is.
unit=$root/usr/lib/systemd/system/kestrune-headless@.service
if command -v systemd-analyze >/dev/null; then
    mkdir "$work/units"
    sed "s|^ExecStart=/|ExecStart=$root/|" "$unit" >"$work/units/kestrune-headless@.service"
    cp "$root/usr/lib/systemd/system/kestrune-tango@.service" "$work/units/"
    verify=$(systemd-analyze verify "$work/units/kestrune-headless@.service" \
        "$work/units/kestrune-tango@.service" 2>&1) || true
    [ -z "$verify" ] || { echo "$verify"; fail "systemd-analyze verify"; }
    echo "systemd-analyze verify: no findings"
    exposure=$(systemd-analyze security --offline=yes "$unit" 2>&1 |
        sed -n 's/^.*Overall exposure level for [^:]*: \([0-9.]*\) .*$/\1/p')
    [ -n "$exposure" ] || fail "systemd-analyze security gave no rating"
    echo "systemd-analyze security: $exposure"
    awk -v e="$exposure" 'BEGIN { exit !(e <= 4.0) }' || fail "the unit's exposure is $exposure, above 4.0"
else
    echo "systemd-analyze not found: the unit is not verified"
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "not root: the package's runs need root (users, mount namespaces); not run"
    echo "package check passed in $((SECONDS - started)) s"
    exit 0
fi

# --- An upgrade from a package that kept the data beside the executables in /opt/kestrune:
# dpkg has removed the old executables and left what the operators' runs made.
umask 022
python=/usr/bin/python3
port=$("$python" -c 'import socket; s = socket.socket(); s.bind(("", 0)); print(s.getsockname()[1])')
dialout=$(getent group dialout | cut -d: -f3)
for uid in 61001 61002 61003; do
    mkdir -m 700 "$work/home-$uid" && chown "$uid:$uid" "$work/home-$uid"
done
as_operator() {  # as_operator UID: an operator, in dialout but for 61003
    local groups=$dialout
    [ "$1" != 61003 ] || groups=$1
    echo setpriv --reuid="$1" --regid="$1" --groups="$groups" env -i PATH=/usr/bin:/bin \
        QT_QPA_PLATFORM=offscreen HOME="$work/home-$1" XDG_RUNTIME_DIR="$work/home-$1"
}
read -ra first <<<"$(as_operator 61001)"
read -ra second <<<"$(as_operator 61002)"
read -ra outsider <<<"$(as_operator 61003)"

old=$root/opt/kestrune
mkdir -p "$old" && chown root:dialout "$old" && chmod 2775 "$old"
setfacl -d -m u::rwx,g::rwx,o::rx "$old"
"${first[@]}" sh -c 'cd "$1" && mkdir Cal Log Scans Ports && printf "%s\n" "[Info]" "Type=Kestrune v1" \
    "[ComPort]" "PortName=COM1" "[Device]" "DebugMode=1" "[Remote]" "PortNum=$2" >RedeRedirada.ini &&
    echo "point,cwl" >"Scans/Scan 20261201-100000.csv" && echo "[201201-100000] Open" >"Log/Log 20261201-100000.ini"' \
    sh "$old" "$port"
listing() { (cd "$1" && find . -mindepth 1 -printf '%P %u %s\n' | sort); }
listing "$old" >"$work/old-data"
DPKG_ROOT=$root "$work/control/postinst" configure 1.0 2>"$work/postinst.err" ||
    { cat "$work/postinst.err"; fail "postinst"; }
[ ! -e "$old" ] || fail "the upgrade left /opt/kestrune: $(ls -A "$old")"
[ "$(listing "$dir")" = "$(cat "$work/old-data")" ] || fail "the upgrade did not move the data intact"
[ "$(stat -c '%a %U:%G' "$dir")" = "2775 root:dialout" ] || fail "data folder is $(stat -c '%a %U:%G' "$dir")"
echo "the upgrade moved the data from /opt/kestrune"

# --- The executables: an operator writes into the data folder, but can neither add a file where
# the executables are nor rename one of them.
programs=$root/usr/lib/kestrune
[ "$(stat -c '%a %U:%G' "$programs" "$programs"/*)" = "$(printf '755 root:root\n%.0s' 1 2 3)" ] ||
    fail "the executables' folder: $(stat -c '%n %a %U:%G' "$programs" "$programs"/*)"
"${first[@]}" sh -c 'echo x >"$1/probe" && rm "$1/probe"' sh "$dir" || fail "an operator cannot write the data folder"
"${first[@]}" sh -c 'echo x >"$1/kestrune-mine"' sh "$programs" 2>/dev/null && fail "an operator added a file to the executables"
"${first[@]}" mv "$programs/kestrune-sim" "$programs/kestrune-sim.old" 2>/dev/null && fail "an operator renamed an executable"
[ "$(ls "$programs")" = "$(printf 'kestrune\nkestrune-sim')" ] || fail "the executables' folder changed: $(ls "$programs")"
echo "an operator can neither write nor rename the executables"

# installed [--sandbox UID] COMMAND... &: COMMAND (in the background, as $!) in a private mount
# namespace where the copy is installed: its /usr over the system's, read-only, and its data
# folder at /var/lib/kestrune.
# With --sandbox, what the unit asks of systemd that applies without it: everything read-only
# but the data folder, no home folders, a private /tmp, umask 0007, a runtime folder of the
# user's own; the command then runs as UID in dialout without capabilities or new privileges.
installed() {
    local sandbox=
    if [ "$1" = --sandbox ]; then
        sandbox=$2
        shift 2
    fi
    exec unshare --mount --propagation private -- sh -euc '
        root=$1 sandbox=$2 dialout=$3
        shift 3
        if [ -n "$sandbox" ]; then
            for d in /etc /var /opt /srv /boot; do
                [ ! -d "$d" ] || mount --bind -o ro "$d" "$d"
            done
        fi
        mount -t overlay kestrune-usr -o "lowerdir=$root/usr:/usr" /usr
        mount -t overlay kestrune-var -o "lowerdir=$root/var/lib:/var/lib" /var/lib
        mount --bind "$root/var/lib/kestrune" /var/lib/kestrune
        [ -n "$sandbox" ] || exec "$@"
        mount -t tmpfs -o mode=0755 kestrune-home /home
        mount -t tmpfs -o mode=0700 kestrune-root /root
        mount -t tmpfs -o mode=1777 kestrune-tmp /tmp
        mkdir -m 700 /tmp/runtime && chown "$sandbox" /tmp/runtime
        umask 0007
        exec setpriv --reuid="$sandbox" --regid="$sandbox" --groups="$dialout" --no-new-privs \
            --bounding-set=-all --inh-caps=-all --ambient-caps=-all \
            env -i PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=/tmp/runtime "$@"
    ' sh "$root" "$sandbox" "$dialout" "$@"
}

# Waits (with a ceiling) until the remote port answers VER and, with --setc, until a SETC
# succeeds: the instrument is ready once it has been found, has settled and is homed.
remote() {
    "$python" - "$port" "$@" <<'EOF'
import socket, sys, time
port, setc = int(sys.argv[1]), "--setc" in sys.argv
deadline = time.monotonic() + 60
def ask(conn, line):
    conn.sendall(line.encode() + b"\r")
    reply = b""
    while not reply.endswith(b"\r"):
        chunk = conn.recv(256)
        if not chunk:
            raise OSError("closed")
        reply += chunk
    return reply.decode("latin-1").strip()
wanted = "VER"
while time.monotonic() < deadline:
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=10) as conn:
            if wanted == "VER":
                if ask(conn, "VER") != "Kestrune v1.0":
                    sys.exit("VER: wrong reply")
                print("VER answered")
                if not setc:
                    sys.exit(0)
                wanted = "SETC"
            while time.monotonic() < deadline:
                reply = ask(conn, "SETC 600.0 5")
                if reply == "SETC OK":
                    print("SETC OK")
                    sys.exit(0)
                time.sleep(0.2)
    except OSError:
        time.sleep(0.2)
sys.exit("no " + wanted + " within 60 s")
EOF
}

# start_sim OPERATOR [OPTION...]: the simulator as COM1 of the data folder, until it says READY.
start_sim() {
    local -n as=$1
    local out=$work/sim-$1.out
    shift
    "${as[@]}" "$programs/kestrune-sim" --folder "$dir" --port 1 --fast "$@" >"$out" 2>&1 &
    sim=$!
    for _ in $(seq 200); do
        grep -q '^READY' "$out" && return
        kill -0 "$sim" 2>/dev/null || break
        sleep 0.1
    done
    cat "$out"
    fail "the simulator did not start"
}
stop_program() {  # the normal close, which must end well
    kill -TERM "$program"
    wait "$program" || fail "the program ended with status $? on SIGTERM"
    program=
}
stop_sim() {
    kill -TERM "$sim"
    wait "$sim" || true
    sim=
}

# The first operator's run is the service's: sandboxed, found by its settings from /opt/kestrune.
start_sim first --install-cal
cd /
installed --sandbox 61001 /usr/lib/kestrune/kestrune 2>"$work/first.err" &
program=$!
remote --setc || { cat "$work/first.err"; fail "the first run did not get ready"; }
stop_program
stop_sim
grep -q '^BaudRate=38400' "$dir/RedeRedirada.ini" || fail "the first run wrote no settings"
grep -qx '<5>Device ready\.' "$work/first.err" || { cat "$work/first.err"; fail "no '<5>Device ready.' on standard error"; }
echo "the sandboxed headless run got ready and said so on standard error:"
sed 's/^/    /' "$work/first.err"

# The second operator's run reads the first one's settings (the remote port) and table, logs
# into the first one's Log/ and replaces the settings file.
start_sim second
installed "${second[@]}" /usr/bin/kestrune 2>"$work/second.err" &
program=$!
remote || fail "the second run did not answer on the first run's port"
for _ in $(seq 300); do
    [ -n "$(find "$dir/Log" -name 'Log *.ini' -user 61002)" ] && break
    sleep 0.1
done
[ -n "$(find "$dir/Log" -name 'Log *.ini' -user 61002)" ] || fail "the second run wrote no log into Log/"
stop_program
[ "$(stat -c %u "$dir/RedeRedirada.ini")" = 61002 ] || fail "the second run did not replace the settings"
grep -q '^BaudRate=38400' "$dir/RedeRedirada.ini" || fail "the second run wrote no settings"
echo "two operators shared the data folder"

# A user outside dialout is told once, whatever the number of tries, which port is refused and
# which group opens it: here the simulator's pseudo-terminal, given to dialout like a real port.
device=$(readlink -f "$dir/Ports/COM1")
chgrp dialout "$device" && chmod 660 "$device"
installed "${outsider[@]}" /usr/bin/kestrune 2>"$work/outsider.err" &
program=$!
for _ in $(seq 300); do
    grep -q '^<3>ERRDV01 : ' "$work/outsider.err" && break
    sleep 0.1
done
grep -q '^<3>ERRDV01 : ' "$work/outsider.err" || { cat "$work/outsider.err"; fail "the outsider's search did not end"; }
kill -TERM "$program" && wait "$program" || true
program=
stop_sim
denied=$(grep -c "^<4>COM1 ($device) cannot be opened: permission denied; the user must be in the group dialout" \
    "$work/outsider.err" || true)
[ "$denied" = 1 ] || { cat "$work/outsider.err"; fail "the refused port was said $denied times"; }
echo "a user outside dialout was told: $(grep '^<4>' "$work/outsider.err")"

# A remove keeps everything; a purge resets the configuration and keeps the lab's records.
"${second[@]}" sh -c 'echo "400.0,800.0" >"$1/BandList.csv"' sh "$dir"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | (cd "$root" && xargs rm)
DPKG_ROOT=$root "$work/control/postrm" remove
[ -f "$dir/RedeRedirada.ini" ] && [ -d "$dir/Cal" ] || fail "a remove lost the settings or Cal/"
DPKG_ROOT=$root "$work/control/postrm" purge 2>"$work/purge.err"
[ "$(ls -A "$dir")" = "$(printf 'Log\nScans')" ] || fail "a purge left $(ls -A "$dir")"
[ -f "$dir/Scans/Scan 20261201-100000.csv" ] && [ -n "$(find "$dir/Log" -name 'Log *.ini' -user 61002)" ] ||
    fail "a purge lost scan records or logs"
grep -q /var/lib/kestrune "$work/purge.err" || fail "a purge did not say where the records are"
echo "a purge kept Scans/ and Log/: $(cat "$work/purge.err")"

echo "package check passed in $((SECONDS - started)) s"
