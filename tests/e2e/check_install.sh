#!/bin/sh
# check_install.sh <cmake> <build-dir> <stage-dir>: installs the build into a staging
# prefix and checks what a desktop installation needs.
set -u
cmake=$1 build=$2 stage=$3
rm -rf "$stage"
if ! "$cmake" --install "$build" --prefix "$stage/usr" >"$stage.log" 2>&1; then
  cat "$stage.log"
  echo "FAIL: cmake --install failed"
  exit 1
fi

status=0
fail() { echo "FAIL: $*"; status=1; }

[ -x "$stage/usr/bin/zelkzoomer" ] || fail "bin/zelkzoomer missing or not executable"
desktop=$stage/usr/share/applications/zelkzoomer.desktop
[ -f "$desktop" ] || fail "share/applications/zelkzoomer.desktop missing"
for size in 16 32 48 64 128 256; do
  png=$stage/usr/share/icons/hicolor/${size}x${size}/apps/zelkzoomer.png
  [ -s "$png" ] || fail "icon $png missing"
  # A PNG of the size its folder names: width and height from the IHDR chunk.
  dims=$(od -An -tu1 -j16 -N8 "$png" 2>/dev/null | awk '{print $3*256+$4 "x" $7*256+$8}')
  [ "$dims" = "${size}x${size}" ] || fail "icon $png is $dims"
done
grep -q '<svg' "$stage/usr/share/icons/hicolor/scalable/apps/zelkzoomer.svg" 2>/dev/null ||
  fail "scalable icon missing"
man=$stage/usr/share/man/man1/zelkzoomer.1
[ -s "$man" ] || fail "man page missing"
grep -q '^\.TH ZELKZOOMER 1' "$man" 2>/dev/null || fail "man page has no title line"

if [ -f "$desktop" ]; then
  for line in 'Name=Zelk Lossless Image Zoomer' 'Exec=zelkzoomer %F' 'Icon=zelkzoomer' \
      'Categories=Graphics;Viewer;' \
      'MimeType=image/jpeg;image/bmp;image/png;image/x-icon;image/vnd.microsoft.icon;image/emf;image/x-emf;image/wmf;image/x-wmf;'; do
    grep -qxF "$line" "$desktop" || fail "menu entry lacks: $line"
  done
  if command -v desktop-file-validate >/dev/null 2>&1; then
    out=$(desktop-file-validate "$desktop" 2>&1)
    [ -z "$out" ] || fail "desktop-file-validate: $out"
  else
    echo "desktop-file-validate not installed: menu entry not validated"
  fi
fi
if command -v man >/dev/null 2>&1 && [ -s "$man" ]; then
  warnings=$(MANWIDTH=80 man --warnings -l "$man" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man page warnings: $warnings"
fi

# The installed program answers without a display.
"$stage/usr/bin/zelkzoomer" --version | grep -q '^zelkzoomer ' || fail "installed program does not run"
[ $status -eq 0 ] && echo "installation complete in $stage"
exit $status
