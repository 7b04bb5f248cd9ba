#!/usr/bin/env bash
# The installation and the .deb, as a user would get them: every file in its
# place, the validators of the desktop entry and the AppStream file content,
# and the installed program starting (offscreen) and finding its documentation.
# Usage: check-install.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; }

version=$(sed -n 's/^project(Trawlix VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
app_id=$(sed -n 's/^TRAWLIX_APP_ID:STRING=//p' "$build/CMakeCache.txt")

# The program must keep running (the time-out ends it) and say nothing about missing documentation.
starts_with_documentation() {
    local program=$1 what=$2
    local rc=0
    QT_QPA_PLATFORM=offscreen HOME="$work/home" XDG_RUNTIME_DIR="$work" timeout 5 "$program" --documentation \
        >"$work/out" 2>"$work/err" || rc=$?
    if [ "$rc" != 124 ]; then
        fail "$what: the program ended by itself (exit $rc): $(cat "$work/err")"
    elif grep -q "is missing" "$work/err"; then
        fail "$what: $(grep "is missing" "$work/err")"
    else
        pass "$what: starts offscreen and finds its documentation"
    fi
}

validate() {
    local tool=$1; shift
    if ! command -v "$tool" >/dev/null; then
        echo "skip: $tool is not installed (make test-install installs it where apt-get can)"
        return
    fi
    if "$tool" "$@" >"$work/validate" 2>&1; then
        pass "$tool ${*: -1}"
    else
        fail "$tool ${*: -1}: $(cat "$work/validate")"
    fi
}

# 1. cmake --install into a staging root.
DESTDIR="$work/destdir" cmake --install "$build" --prefix /usr/local >/dev/null
prefix="$work/destdir/usr/local"
for file in bin/trawlix share/trawlix/Trawlix.rtf share/doc/trawlix/copyright "share/applications/$app_id.desktop" \
            "share/metainfo/$app_id.metainfo.xml" share/icons/hicolor/{16x16,32x32,48x48,128x128}/apps/trawlix.png; do
    [ -e "$prefix/$file" ] && pass "installed $file" || fail "not installed: $file"
done
grep -q '^Exec=trawlix %U$' "$prefix/share/applications/$app_id.desktop" || fail "the desktop entry takes no URLs"
grep -q 'x-scheme-handler/https' "$prefix/share/applications/$app_id.desktop" || fail "the desktop entry declares no https"
validate desktop-file-validate "$prefix/share/applications/$app_id.desktop"
validate appstreamcli validate --no-net "$prefix/share/metainfo/$app_id.metainfo.xml"
[ "$("$prefix/bin/trawlix" --version)" = "trawlix $version" ] && pass "--version" || fail "--version says $("$prefix/bin/trawlix" --version)"
"$prefix/bin/trawlix" --help | grep -q "URL" && pass "--help" || fail "--help names no URL"
starts_with_documentation "$prefix/bin/trawlix" "installed program"

# The check can fail: the same program alone, without its shared files.
cp "$prefix/bin/trawlix" "$work/alone"
rc=0
QT_QPA_PLATFORM=offscreen HOME="$work/home" XDG_RUNTIME_DIR="$work" timeout 5 "$work/alone" --documentation 2>"$work/err" >/dev/null || rc=$?
grep -q "is missing" "$work/err" && pass "a program without its shared files says so" || fail "a lone program did not miss its documentation"

# A build told where its screenshots are published and where to ask for the
# latest version: the AppStream file lists the screenshots with their captions,
# and the program is built with that address.
cmake -S "$source_dir" -B "$work/shots" -G Ninja -DTRAWLIX_BENCH=OFF \
      -DTRAWLIX_SCREENSHOT_URL=https://screenshots.invalid/trawlix/ \
      -DTRAWLIX_VERSION_URL=https://updates.invalid/trawlix/version.txt >/dev/null
grep -q 'kVersionUrl = QStringLiteral("https://updates.invalid/trawlix/version.txt")' "$work/shots/app/BuildInfo.h" \
    && pass "the version address is a build option" || fail "TRAWLIX_VERSION_URL did not reach the program"
grep -q 'kVersionUrl = QStringLiteral("")' "$build/app/BuildInfo.h" \
    && pass "the default build asks no server about versions" || fail "the default build has a version address"
shots="$work/shots/install/$app_id.metainfo.xml"
grep -q "<caption>Sizes and pixel dimensions before anything is downloaded</caption>" "$shots" \
    && pass "screenshots with captions when published" || fail "no screenshot captions in $shots"
validate appstreamcli validate --no-net "$shots"

# 2. The .deb, unpacked into a temporary root.
(cd "$build" && cpack >/dev/null)
deb=$(ls "$build"/trawlix_"$version"_*.deb)
dpkg-deb -f "$deb" Depends | grep -q libqt6widgets6 && pass "the package depends on the libraries it links" \
    || fail "package dependencies: $(dpkg-deb -f "$deb" Depends)"
maintainer=$(dpkg-deb -f "$deb" Maintainer)
[[ "$maintainer" =~ ^[^\<]+\ \<[^@\>]+@[^\>]+\>$ ]] && pass "the package's maintainer has an address: $maintainer" \
    || fail "package maintainer: $maintainer"
grep -q '<project_license>MIT</project_license>' "$prefix/share/metainfo/$app_id.metainfo.xml" \
    && pass "AppStream names the MIT licence" || fail "AppStream licence"
dpkg-deb -x "$deb" "$work/root"
grep -q '^License: MIT$' "$work/root/usr/share/doc/trawlix/copyright" && pass "the package's copyright file" \
    || fail "no machine-readable copyright in the package"
starts_with_documentation "$work/root/usr/bin/trawlix" "unpacked package"

if [ "$failures" -gt 0 ]; then
    echo "$failures install checks failed"
    exit 1
fi
echo "All install checks passed"
