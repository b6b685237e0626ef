#!/usr/bin/env bash
# Builds the Debian package from a build tree and checks it as Debian would:
# lintian prints no error and no warning, and the package holds what a
# packager expects. Usage: check-deb.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1
work=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

rm -rf "$work"
mkdir -p "$work"
(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/brevin_*.deb)

# lintian as root warns about that on standard error only; its findings go to standard output.
report=$(lintian --no-cfg --display-level '>=warning' "$deb" 2>/dev/null || true)
echo "lintian ${deb##*/}:"
echo "${report:-(nothing)}"
! grep -qE '^[EW]: ' <<<"$report" || fail "lintian reports errors or warnings"

contents=$(dpkg-deb -c "$deb")
for f in usr/share/doc/brevin/copyright usr/share/doc/brevin/changelog.gz usr/share/doc/brevin/README.md.gz \
         usr/share/brevin/brevin-analysis.schema.json usr/share/brevin/library/objects.tsv \
         usr/share/man/man1/Brevin.1.gz \
         usr/share/man/man5/brevin-analysis.5.gz; do
  grep -q " \./$f\$" <<<"$contents" || fail "the package lacks /$f"
done
grep -q ' \./usr/bin/brevin -> Brevin$' <<<"$contents" || fail "/usr/bin/brevin is not a link to Brevin"
[ "$(dpkg-deb -f "$deb" Suggests)" = "wine" ] || fail "Suggests is not wine"
grep -q 'xdg-utils' <<<"$(dpkg-deb -f "$deb" Recommends)" || fail "Recommends lacks xdg-utils"

# brevin-cli takes the system's C library.
mkdir -p "$work/root"
dpkg-deb -x "$deb" "$work/root"
file -L "$work/root/usr/bin/brevin-cli" | grep -q 'dynamically linked' || fail "brevin-cli is not dynamically linked"
"$work/root/usr/bin/brevin-cli" --version >/dev/null || fail "the packaged brevin-cli does not run"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "package clean and complete"
