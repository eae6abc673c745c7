#!/usr/bin/env bash
# The Debian package, made by cpack as scripts/package makes it: its name, its files, and
# Depends from dpkg-shlibdeps naming the Qt, mpv and web engine runtime packages.
# Usage: package_test.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
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

# The files `cmake --install` puts in place, which the install test checks one by one.
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)
cmake --install "$build" --prefix "$out/root/usr" >/dev/null
expected=$(cd "$out/root" && find . -type f | sort)
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
