#!/usr/bin/env bash
# The Debian package, made by cpack as scripts/package makes it: its name, its files, and
# Depends from dpkg-shlibdeps naming the Qt, mpv and web engine runtime packages.
# Usage: package_test.sh BUILD_DIR VERSION WITH_PARVANE_CUT(0|1)
set -euo pipefail
build=$1
version=$2
with_cut=$3
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() {
    echo "package test: $*" >&2
    exit 1
}

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$out" >"$out/cpack.log" 2>&1 ||
    fail "cpack failed: $(cat "$out/cpack.log")"
deb="$out/parvane_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $(basename "$deb"); made: $(ls "$out")"

files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)
expected="./usr/bin/parvane"
expected+=$'\n'"./usr/lib/parvane/parvane-player.so"$'\n'"./usr/lib/parvane/parvane-web.so"
[ "$with_cut" = 1 ] && expected+=$'\n'"./usr/bin/parvane-cut"
expected+=$'\n'"./usr/share/applications/parvane.desktop"
expected+=$'\n'"./usr/share/metainfo/example.parvane.Parvane.metainfo.xml"
for size in 16 32 48 64 128 256; do
    expected+=$'\n'"./usr/share/icons/hicolor/${size}x${size}/apps/parvane.png"
done
expected=$(echo "$expected" | sort)
[ "$files" = "$expected" ] ||
    fail "the package holds other files:"$'\n'"$(diff <(echo "$expected") <(echo "$files"))"

[ "$(dpkg-deb -f "$deb" Package)" = parvane ] || fail "the package is not named parvane"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6core6 libqt6gui6 libqt6widgets6 libqt6openglwidgets6 libmpv2 \
    libqt6webenginewidgets6; do
    [[ ", $depends," == *", $package ("* ]] || fail "Depends does not name $package: $depends"
done
# Versioned entries for every linked library, the C library among them: dpkg-shlibdeps.
[[ "$depends" == *"libc6 (>= "* ]] || fail "Depends was not made by dpkg-shlibdeps: $depends"
echo "package test: $(basename "$deb"), $(echo "$files" | wc -l) files; Depends: $depends"
