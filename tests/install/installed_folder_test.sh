#!/usr/bin/env bash
# Installs the build into a fresh folder, checks what the folder holds, starts the installed
# program there without a display and closes it the way the system does: it must write its
# settings file into its own folder.
set -euo pipefail
build=$1
prefix=$2
rm -rf "$prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

for f in kestrune kestrune-sim kestrune.png kestrune.desktop README.md; do
    [ -e "$prefix/$f" ] || { echo "missing: $f"; exit 1; }
done
grep -qx "Exec=$prefix/kestrune" "$prefix/kestrune.desktop" || { echo "bad Exec line"; exit 1; }
grep -qx "Icon=$prefix/kestrune.png" "$prefix/kestrune.desktop" || { echo "bad Icon line"; exit 1; }
head -c 8 "$prefix/kestrune.png" | od -An -tx1 | grep -q "89 50 4e 47" || { echo "icon is no PNG"; exit 1; }

# An empty Ports/ folder keeps the program away from this machine's serial ports. With DebugMode
# on, the program creates Log/ once its window exists, after it has set up its close signals.
mkdir -p "$prefix/Ports"
printf '[Info]\nType=Kestrune v1\n[Device]\nDebugMode=1\n' > "$prefix/RedeRedirada.ini"
cd /
QT_QPA_PLATFORM=offscreen "$prefix/kestrune" &
pid=$!
for _ in $(seq 300); do
    [ -d "$prefix/Log" ] && break
    kill -0 "$pid" 2>/dev/null || { echo "the program ended by itself"; exit 1; }
    sleep 0.1
done
[ -d "$prefix/Log" ] || { echo "the program did not start"; exit 1; }
kill -TERM "$pid"
wait "$pid"
# Written back at the close, with every section.
grep -q "^PortNum=5050" "$prefix/RedeRedirada.ini" || { echo "settings not written"; exit 1; }
echo "installed folder works"
