#!/usr/bin/env bash
# Builds python3-kestrune_<version>_all.deb into OUT_DIR: the package kestrune of clients/python
# (the remote-port client, the PyMeasure instrument, the Tango device) for Debian's python3, with
# the Tango device's systemd template. Pure Python, so it needs no build of the program.
#
#   packaging/python3-kestrune/make-deb.sh OUT_DIR VERSION
set -euo pipefail
out=$1
version=$2
here=$(cd "$(dirname "$0")" && pwd)
source=$here/../../clients/python
root=$(mktemp -d "${TMPDIR:-/tmp}/python3-kestrune.XXXXXX")
trap 'rm -rf "$root"' EXIT
chmod 755 "$root"
umask 022

install -d "$root/DEBIAN" "$root/usr/lib/python3/dist-packages/kestrune" \
    "$root/usr/lib/systemd/system" "$root/usr/share/doc/python3-kestrune"
install -m 644 "$source"/kestrune/*.py "$root/usr/lib/python3/dist-packages/kestrune/"
install -m 644 "$here/kestrune-tango@.service" "$root/usr/lib/systemd/system/"
install -m 644 "$here/copyright" "$source/README.md" "$root/usr/share/doc/python3-kestrune/"
gzip -9nc "$here/changelog" >"$root/usr/share/doc/python3-kestrune/changelog.gz"

(cd "$root" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$root/DEBIAN/md5sums"
cat >"$root/DEBIAN/control" <<CONTROL
Package: python3-kestrune
Version: $version
Architecture: all
Section: python
Priority: optional
Maintainer: Kestrune maintainers <maintainers@kestrune.example>
Installed-Size: $(du -sk --exclude=DEBIAN "$root" | cut -f1)
Depends: python3
Suggests: python3-pymeasure, python3-pyvisa-py, python3-tango
Description: Python driver for Kestrune, the tunable band-pass filter controller
 Lab automation for Kestrune's TCP remote port: kestrune.Client on the
 standard library alone, kestrune.pymeasure.Kestrune as a PyMeasure
 instrument over PyVISA, and kestrune.tango.KestruneFilter, a Tango device
 server that lets any number of Tango clients share the instrument
 (python3 -m kestrune.tango <instance>, or the kestrune-tango@ service).
CONTROL
dpkg-deb --root-owner-group --build "$root" "$out/python3-kestrune_${version}_all.deb" >/dev/null
