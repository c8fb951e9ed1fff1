#!/bin/sh
# Builds the Debian package, checks it with lintian (no errors allowed),
# installs it with apt as a user would, and runs what it installed:
# kestrix-cli --version, man kestrix-cli, the bash completion and the
# AppStream metainfo. Run as root on Debian 12 from the repository's top
# folder; it installs its own tools (lintian, man-db, bash-completion,
# appstream) and leaves the package installed.
set -eu

BUILD=${BUILD:-build}
export DEBIAN_FRONTEND=noninteractive

missing=""
for p in lintian man-db bash-completion appstream; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed' || missing="$missing $p"
done
if [ -n "$missing" ]; then
  apt-get update -qq
  apt-get install -y -qq $missing >/dev/null
fi

make --no-print-directory deb BUILD="$BUILD"
deb=$(ls -t "$BUILD"/kestrix_*.deb | head -1)
echo "== package: $deb ($(du -k "$deb" | cut -f1) KiB)"
dpkg-deb --info "$deb" | sed -n 's/^ *\(Depends\|Recommends\|Installed-Size\):/  \1:/p'

echo "== lintian"
lintian --tag-display-limit 0 "$deb" | tee "$BUILD/lintian.txt" || true
if grep -q '^E:' "$BUILD/lintian.txt"; then
  echo "lintian reports errors" >&2
  exit 1
fi
echo "lintian: $(grep -c '^E:' "$BUILD/lintian.txt") errors, $(grep -c '^W:' "$BUILD/lintian.txt") warnings"

echo "== apt install ./$deb"
apt-get install -y -qq "./$deb" >/dev/null
/usr/bin/kestrix-cli --version
MANPAGER=cat MANWIDTH=80 man kestrix-cli | head -20
MANPAGER=cat man -w kestrix
test -f /usr/share/doc/Kestrix/README.html
test -f /usr/share/doc/Kestrix/README.ru
test -f /usr/share/applications/org.kestrix.Kestrix.desktop
test -f /usr/share/icons/hicolor/256x256/apps/kestrix.png
appstreamcli validate --no-net /usr/share/metainfo/org.kestrix.Kestrix.metainfo.xml || true
echo "== completion"
bash -c '. /usr/share/bash-completion/bash_completion; _completion_loader kestrix-cli;
  COMP_WORDS=(kestrix-cli co); COMP_CWORD=1; _kestrix_cli; echo "kestrix-cli co<TAB>: ${COMPREPLY[*]}"'
echo "deb check passed"
