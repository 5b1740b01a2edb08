#!/bin/sh
# Makes a virtual environment with the system's packages at $1, installs the driver there from
# this folder's parent without any download, and runs its tests. KESTRUNE_EXE and KESTRUNE_SIM
# name the programs under test. The exit code is pytest's.
set -eu
venv=$1
package=$(cd "$(dirname "$0")/.." && pwd)
[ -x "$venv/bin/python" ] || /usr/bin/python3 -m venv --system-site-packages "$venv"
# From a copy: the build writes its own files beside the sources.
rm -rf "$venv/source"
mkdir -p "$venv/source"
cp -R "$package/pyproject.toml" "$package/README.md" "$package/kestrune" "$venv/source/"
"$venv/bin/pip" install --quiet --no-index --no-build-isolation --force-reinstall "$venv/source"
cd "$venv"
exec "$venv/bin/python" -B -m pytest -q -p no:cacheprovider "$package/tests"
