#!/usr/bin/env bash
# Builds the two Debian packages from a build tree and checks them as Debian
# would: lintian prints no error and no warning (and none of its hardening
# notes), each package holds what a packager expects, brevin-cli needs nothing
# of Qt, and the programs carry the hardening of Debian's build flags.
# Usage: check-deb.sh BUILD_DIR WORK_DIR
set -euo pipefail
build=$1
work=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

rm -rf "$work"
mkdir -p "$work"
(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
cli=$(ls "$work"/brevin-cli_*.deb)
window=$(ls "$work"/brevin_*.deb)
version=$(dpkg-deb -f "$cli" Version)

# lintian as root warns about that on standard error only; its findings go to
# standard output. The notes (-I) are shown; hardening notes count as failures.
for deb in "$cli" "$window"; do
  report=$(lintian --no-cfg -I "$deb" 2>/dev/null || true)
  echo "lintian -I ${deb##*/}:"
  echo "${report:-(nothing)}"
  ! grep -qE '^[EW]: ' <<<"$report" || fail "lintian reports errors or warnings for ${deb##*/}"
  ! grep -qE '^I: .*hardening-' <<<"$report" || fail "lintian finds a program of ${deb##*/} not hardened"
done

has() {  # has DEB PATH...: each path is in the package
  local deb=$1 contents
  shift
  contents=$(dpkg-deb -c "$deb")
  for f in "$@"; do
    grep -q " \./$f\$" <<<"$contents" || fail "${deb##*/} lacks /$f"
  done
}
has "$cli" usr/bin/brevin-cli usr/share/man/man1/brevin-cli.1.gz usr/share/man/man5/brevin-analysis.5.gz \
    usr/share/brevin/brevin-analysis.schema.json usr/share/brevin/brevin-notes.schema.json usr/share/brevin/library/objects.tsv usr/share/doc/brevin-cli/copyright \
    usr/share/doc/brevin-cli/changelog.gz usr/share/doc/brevin-cli/README.md.gz
has "$window" usr/bin/Brevin usr/share/man/man1/Brevin.1.gz usr/share/doc/brevin/copyright \
    usr/share/doc/brevin/changelog.gz usr/share/applications/org.brevin.brevin.desktop \
    usr/share/mime/packages/org.brevin.brevin.xml
grep -q ' \./usr/bin/brevin -> Brevin$' <<<"$(dpkg-deb -c "$window")" || fail "/usr/bin/brevin is not a link to Brevin"
# No file in both packages (dpkg would refuse to install the second).
files() { dpkg-deb -c "$1" | grep -v '^d' | sed 's/.* \.\//\//; s/ -> .*//' | sort; }
both=$(comm -12 <(files "$cli") <(files "$window"))
[ -z "$both" ] || fail "files in both packages: $both"

# The command line alone: no Qt anywhere in its dependencies or its program.
cli_depends=$(dpkg-deb -f "$cli" Depends)
! grep -qi 'qt' <<<"$cli_depends" || fail "brevin-cli depends on Qt: $cli_depends"
window_depends=$(dpkg-deb -f "$window" Depends)
grep -q "brevin-cli (= $version)" <<<"$window_depends" || fail "brevin does not depend on brevin-cli (= $version)"
grep -q 'qt6-qpa-plugins' <<<"$window_depends" || fail "brevin does not depend on qt6-qpa-plugins"
[ "$(dpkg-deb -f "$window" Suggests)" = "wine" ] || fail "Suggests of brevin is not wine"
grep -q 'xdg-utils' <<<"$(dpkg-deb -f "$window" Recommends)" || fail "Recommends of brevin lacks xdg-utils"
[ "$(dpkg-deb -f "$cli" Description | head -1)" != "$(dpkg-deb -f "$window" Description | head -1)" ] ||
  fail "both packages have the same summary"

mkdir -p "$work/root"
dpkg-deb -x "$cli" "$work/root"
dpkg-deb -x "$window" "$work/root"
program="$work/root/usr/bin/brevin-cli"
! readelf -d "$program" | grep -q 'NEEDED.*libQt' || fail "brevin-cli links Qt"
# brevin-cli takes the system's C library.
file -L "$program" | grep -q 'dynamically linked' || fail "brevin-cli is not dynamically linked"
"$program" --version >/dev/null || fail "the packaged brevin-cli does not run"

# The hardening, as readelf sees it: position-independent, relocations
# read-only and bound at start, the stack protector and the checked C library calls.
for p in "$program" "$work/root/usr/bin/Brevin"; do
  name=${p##*/}
  readelf -h "$p" | grep -q 'Type:.*DYN' || fail "$name is not position-independent"
  readelf -l "$p" | grep -q 'GNU_RELRO' || fail "$name has no read-only relocations (relro)"
  readelf -d "$p" | grep -qE 'BIND_NOW|FLAGS_1.*NOW' || fail "$name does not bind at start (-z now)"
  symbols=$(readelf --dyn-syms -W "$p")
  grep -q '__stack_chk_fail' <<<"$symbols" || fail "$name has no stack protector"
  grep -qE '__[a-z0-9_]+_chk(@|$| )' <<<"$symbols" || fail "$name calls no checked (fortified) C library function"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "packages clean and complete: ${cli##*/} ${window##*/}"
