#!/usr/bin/env bash
# make-deb over this build tree: the package lists the backend, the filter
# and the plug-ins, and unpacked into a scratch root it gives exactly the
# files, links and modes that a DESTDIR install of the same tree gives.
set -euo pipefail
build=$1
work=$build/package-test
rm -rf "$work"
mkdir -p "$work"
fail() { printf 'FAIL: %s\n' "$*" >&2; exit 1; }

deb=$("$(dirname "$0")/../../scripts/make-deb" "$build" "$work")
contents=$(dpkg-deb -c "$deb")
for path in ./usr/lib/cups/backend/corvanta ./usr/bin/corvanta-filter ./usr/lib/corvanta/corvanta \
            ./usr/lib/corvanta/corvanta-filter ./usr/lib/corvanta/libVaskHP.so ./usr/lib/corvanta/libVaskCA.so; do
  grep -q " $path\( \|$\)" <<<"$contents" || fail "the package has no $path"
done
grep -q '^-rwx------ root/root .* ./usr/lib/corvanta/corvanta$' <<<"$contents" || fail "the backend is not root's, mode 0700"
dpkg-deb -f "$deb" Depends | grep -q libpng16 || fail "no dependency on libpng"

dpkg -x "$deb" "$work/unpacked"
DESTDIR=$work/installed CORVANTA_CUPS_SERVERBIN=/usr/lib/cups cmake --install "$build" --prefix /usr >/dev/null
list() { (cd "$1" && find . -mindepth 1 -printf '%M %P %l\n' | sort); }
diff <(list "$work/unpacked") <(list "$work/installed") || fail "the package and make install differ"
"$work/unpacked/usr/bin/corvanta-filter" --help >/dev/null || fail "the unpacked filter does not run"
echo "package and install agree: $(list "$work/unpacked" | wc -l) entries"
