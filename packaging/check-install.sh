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
         share/man/man1/brevin-cli.1.gz share/man/man1/Brevin.1.gz share/man/man5/brevin-analysis.5.gz \
         share/brevin/brevin-analysis.schema.json share/brevin/brevin-notes.schema.json share/brevin/library/objects.tsv \
         share/doc/brevin-cli/copyright share/doc/brevin-cli/changelog.gz share/doc/brevin-cli/README.md.gz \
         share/doc/brevin/copyright share/doc/brevin/changelog.gz \
         share/metainfo/$id.metainfo.xml; do
  [ -f "$root/$f" ] || fail "missing $f"
done
for f in bin/Brevin bin/brevin-cli; do [ -x "$root/$f" ] || fail "$f is not executable"; done
[ "$(readlink "$root/bin/brevin")" = Brevin ] || fail "bin/brevin is not a link to Brevin"
[ "$(readlink "$root/share/man/man1/brevin.1.gz")" = Brevin.1.gz ] || fail "brevin(1) is not a link to Brevin(1)"

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
# Another program's type with a plain *.binary glob wins that extension; *.eeprom stays ours.
mkdir -p "$probe/other/mime/packages"
cat >"$probe/other/mime/packages/other.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<mime-info xmlns="http://www.freedesktop.org/standards/shared-mime-info">
  <mime-type type="application/x-other-binary"><comment>other</comment><glob pattern="*.binary"/></mime-type>
</mime-info>
XML
cp "$root/share/mime/packages/$id.xml" "$probe/other/mime/packages/"
update-mime-database "$probe/other/mime" >/dev/null 2>&1 || fail "update-mime-database (with another owner)"
export XDG_DATA_DIRS="$probe/other:/usr/share"
type=$(xdg-mime query filetype "$probe/demo.binary" 2>&1 || true)
[ "$type" = "application/x-other-binary" ] || fail "another owner of *.binary does not win: '$type'"
type=$(xdg-mime query filetype "$probe/demo.eeprom" 2>&1 || true)
[ "$type" = "application/x-propeller-image" ] || fail "demo.eeprom resolves to '$type' beside another owner"
rm -rf "$probe"

# The manual pages render without warnings and have their sections.
check_page() {
  local name=$1 page
  page=$(man --warnings -l "$root/share/man/$name" 2>/tmp/brevin-man.$$ | col -b)
  [ ! -s /tmp/brevin-man.$$ ] || { cat /tmp/brevin-man.$$; fail "$name: man page warnings"; }
  rm -f /tmp/brevin-man.$$
  shift
  for section in NAME SYNOPSIS DESCRIPTION "$@" "SEE ALSO"; do
    grep -q "^$section" <<<"$page" || fail "$name lacks $section"
  done
}
check_page man1/brevin-cli.1.gz OPTIONS "EXIT STATUS" EXAMPLES FILES
check_page man1/Brevin.1.gz OPTIONS ENVIRONMENT FILES
check_page man5/brevin-analysis.5.gz FILES

# The installed command-line tool runs.
"$root/bin/brevin-cli" --version >/dev/null || fail "installed brevin-cli does not run"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "staged install complete and valid"
