#!/usr/bin/env bash
# The Debian package of a finished build: CPack makes it, lintian reports nothing that the
# package does not override, it holds the Debian layout and control fields, its unit passes
# systemd-analyze verify, and the unpacked copy works. Two operators (other users, both in
# dialout, umask 022) take turns on that copy, its folder set up by the package's own postinst:
# the first drives it against the simulator on the copy's Ports/ until a SETC succeeds, the
# second's run reads and replaces the settings the first one's wrote. A purge then leaves
# nothing behind. Nothing is installed into this machine.
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
cpack --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack"; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
deb=$work/out/kestrune_${version}_${arch}.deb
[ -f "$deb" ] || fail "cpack made no $(basename "$deb")"
lintian --fail-on error,warning "$deb" >"$work/lintian.out" 2>"$work/lintian.err" ||
    { cat "$work/lintian.out" "$work/lintian.err"; fail "lintian"; }
echo "lintian: $(cat "$work/lintian.out")"

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

# Exactly these files: nothing the operators' runs write may come with the package, or an
# upgrade would overwrite it.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { s = $6; for (i = 7; i <= NF; i++) s = s " " $i; sub(/^\.\//, "", s); print s }' |
    sort >"$work/files"
sort >"$work/expected" <<'EOF'
opt/kestrune/README.md
opt/kestrune/kestrune
opt/kestrune/kestrune-sim
usr/bin/kestrune -> /opt/kestrune/kestrune
usr/bin/kestrune-sim -> /opt/kestrune/kestrune-sim
usr/lib/systemd/system/kestrune-headless@.service
usr/share/applications/kestrune.desktop
usr/share/doc/kestrune/70-kestrune.rules
usr/share/doc/kestrune/changelog.gz
usr/share/doc/kestrune/copyright
usr/share/doc/kestrune/remote-protocol.md
usr/share/icons/hicolor/64x64/apps/kestrune.png
usr/share/lintian/overrides/kestrune
EOF
diff -u "$work/expected" "$work/files" || fail "the package's files differ"

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
dir=$root/opt/kestrune
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
umask 022
python=/usr/bin/python3
port=$("$python" -c 'import socket; s = socket.socket(); s.bind(("", 0)); print(s.getsockname()[1])')
if [ "$(id -u)" -eq 0 ]; then
    DPKG_ROOT=$root "$work/control/postinst" configure ""
    [ "$(stat -c '%a %U:%G' "$dir")" = "2775 root:dialout" ] || fail "folder is $(stat -c '%a %U:%G' "$dir")"
    dialout=$(getent group dialout | cut -d: -f3)
    for uid in 61001 61002; do
        mkdir -m 700 "$work/home-$uid" && chown "$uid:$uid" "$work/home-$uid"
    done
    first=(setpriv --reuid=61001 --regid=61001 --groups="$dialout" env QT_QPA_PLATFORM=offscreen
        HOME="$work/home-61001" XDG_RUNTIME_DIR="$work/home-61001")
    second=(setpriv --reuid=61002 --regid=61002 --groups="$dialout" env QT_QPA_PLATFORM=offscreen
        HOME="$work/home-61002" XDG_RUNTIME_DIR="$work/home-61002")
else
    echo "not root: one operator only, in the folder as unpacked"
    first=(env QT_QPA_PLATFORM=offscreen)
    second=()
fi

# --- The unit, with its program pointed at the copy.
if command -v systemd-analyze >/dev/null; then
    mkdir "$work/units"
    sed "s|^ExecStart=/opt/kestrune/|ExecStart=$dir/|" \
        "$root/usr/lib/systemd/system/kestrune-headless@.service" >"$work/units/kestrune-headless@.service"
    cp "$root/usr/lib/systemd/system/kestrune-tango@.service" "$work/units/"
    verify=$(systemd-analyze verify "$work/units/kestrune-headless@.service" \
        "$work/units/kestrune-tango@.service" 2>&1) || true
    [ -z "$verify" ] || { echo "$verify"; fail "systemd-analyze verify"; }
    echo "systemd-analyze verify: no findings"
else
    echo "systemd-analyze not found: the unit is not verified"
fi

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

# start_sim OPERATOR [OPTION...]: the simulator as COM1 of the copy, until it says READY.
start_sim() {
    local -n as=$1
    local out=$work/sim-$1.out
    shift
    "${as[@]}" "$dir/kestrune-sim" --folder "$dir" --port 1 --fast "$@" >"$out" 2>&1 &
    sim=$!
    for _ in $(seq 200); do
        grep -q '^READY' "$out" && return
        kill -0 "$sim" 2>/dev/null || break
        sleep 0.1
    done
    cat "$out"
    fail "the simulator did not start"
}
stop_all() {  # the normal close, which must end well
    kill -TERM "$program"
    wait "$program" || fail "the program ended with status $? on SIGTERM"
    program=
    kill -TERM "$sim"
    wait "$sim" || true
    sim=
}

"${first[@]}" sh -c 'mkdir -p "$1/Ports" && printf "%s\n" "[Info]" "Type=Kestrune v1" \
    "[ComPort]" "PortName=COM1" "[Device]" "DebugMode=1" "[Remote]" "PortNum=$2" \
    >"$1/RedeRedirada.ini"' sh "$dir" "$port"
start_sim first --install-cal
cd /
"${first[@]}" "$dir/kestrune" &
program=$!
remote --setc || fail "the first run did not get ready"
stop_all
grep -q '^BaudRate=38400' "$dir/RedeRedirada.ini" || fail "the first run wrote no settings"

if [ ${#second[@]} -gt 0 ]; then
    # The second operator's run reads the first one's settings (the remote port) and table,
    # logs into the first one's Log/ and replaces the settings file.
    start_sim second
    "${second[@]}" "$dir/kestrune" &
    program=$!
    remote || fail "the second run did not answer on the first run's port"
    for _ in $(seq 300); do
        [ -n "$(find "$dir/Log" -name 'Log *.ini' -user 61002)" ] && break
        sleep 0.1
    done
    [ -n "$(find "$dir/Log" -name 'Log *.ini' -user 61002)" ] || fail "the second run wrote no log into Log/"
    stop_all
    [ "$(stat -c %u "$dir/RedeRedirada.ini")" = 61002 ] || fail "the second run did not replace the settings"
    grep -q '^BaudRate=38400' "$dir/RedeRedirada.ini" || fail "the second run wrote no settings"
    echo "two operators shared the program folder"

    # A remove keeps the operators' files, a purge deletes them and the folder.
    "${second[@]}" mkdir "$dir/Scans"
    dpkg-deb -c "$deb" | awk '$1 !~ /^d/ && $6 ~ /^\.\/opt\// { print $6 }' | (cd "$root" && xargs rm)
    DPKG_ROOT=$root "$work/control/postrm" remove
    [ -f "$dir/RedeRedirada.ini" ] && [ -d "$dir/Cal" ] || fail "a remove lost the settings or Cal/"
    DPKG_ROOT=$root "$work/control/postrm" purge
    [ ! -e "$dir" ] || fail "a purge left $(ls -A "$dir")"
fi

echo "package check passed in $((SECONDS - started)) s"
