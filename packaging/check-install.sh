#!/usr/bin/env bash
# Installs the build into a staging folder (DESTDIR) and checks it as the
# desktop would see it. Usage: check-install.sh BUILD_DIR STAGE_DIR SAMPLE_DIR
set -euo pipefail
build=$1
stage=$2
samples=$3
id=org.brevin.brevin
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

rm -rf "$stage"
DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null
root="$stage/usr"

for f in bin/Brevin bin/brevin-cli \
         share/applications/$id.desktop \
         share/mime/packages/$id.xml \
         share/icons/hicolor/scalable/apps/$id.svg \
         share/icons/hicolor/256x256/apps/$id.png \
         share/man/man1/brevin-cli.1.gz \
         share/metainfo/$id.metainfo.xml; do
  [ -f "$root/$f" ] || fail "missing $f"
done
for f in bin/Brevin bin/brevin-cli; do [ -x "$root/$f" ] || fail "$f is not executable"; done

# The menu entry: no output at all from the validator.
out=$(desktop-file-validate "$root/share/applications/$id.desktop" 2>&1) || fail "desktop-file-validate failed"
[ -z "$out" ] || fail "desktop-file-validate: $out"
grep -qx "Exec=Brevin %f" "$root/share/applications/$id.desktop" || fail "Exec line"
grep -qx "Icon=$id" "$root/share/applications/$id.desktop" || fail "Icon line"

# AppStream, pedantic and without the network.
appstreamcli validate --no-net --pedantic "$root/share/metainfo/$id.metainfo.xml" >/tmp/brevin-appstream.$$ 2>&1 ||
  { cat /tmp/brevin-appstream.$$; fail "appstreamcli validate"; }
rm -f /tmp/brevin-appstream.$$

# The icon really is 256 x 256.
file "$root/share/icons/hicolor/256x256/apps/$id.png" | grep -q "256 x 256" || fail "PNG icon is not 256x256"

# The file type: the staged MIME database must resolve both extensions, and a
# foreign file must stay foreign.
update-mime-database "$root/share/mime" >/dev/null 2>&1 || fail "update-mime-database"
probe=$(mktemp -d)
cp "$samples/led_chaser.eeprom" "$probe/demo.eeprom"
cp "$samples/led_chaser.binary" "$probe/demo.binary"
printf 'plain text\n' >"$probe/notes.txt"
export XDG_DATA_HOME="$probe/none" XDG_DATA_DIRS="$root/share:/usr/share"
for f in demo.eeprom demo.binary; do
  type=$(xdg-mime query filetype "$probe/$f" 2>&1 || true)
  [ "$type" = "application/x-propeller-image" ] || fail "$f resolves to '$type'"
done
type=$(xdg-mime query filetype "$probe/notes.txt" 2>&1 || true)
[ "$type" != "application/x-propeller-image" ] || fail "a text file resolves to the image type"
rm -rf "$probe"

# The manual page renders without warnings and has its sections.
page=$(man --warnings -l "$root/share/man/man1/brevin-cli.1.gz" 2>/tmp/brevin-man.$$ | col -b)
[ ! -s /tmp/brevin-man.$$ ] || { cat /tmp/brevin-man.$$; fail "man page warnings"; }
rm -f /tmp/brevin-man.$$
for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" EXAMPLES; do
  grep -q "^$section" <<<"$page" || fail "man page lacks $section"
done

# The installed command-line tool runs.
"$root/bin/brevin-cli" --version >/dev/null || fail "installed brevin-cli does not run"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "staged install complete and valid"
