#!/usr/bin/env bash
# The Debian package, made by cpack as scripts/package makes it: its name, its files,
# Depends from dpkg-shlibdeps naming the Qt, mpv and web engine runtime packages, no
# maintainer scripts, and lintian's verdict: no error or warning, and from a hardened build
# none of its notes either (the hardening checks among them).
# Usage: package_test.sh BUILD_DIR VERSION HARDENED(0|1)
set -euo pipefail
build=$1
version=$2
hardened=$3
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

# Nothing to do on install or removal: the plugins are private, so not even ldconfig.
scripts=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||' | grep -vxE 'control|md5sums|' || true)
[ -z "$scripts" ] || fail "the package has maintainer scripts: $scripts"

lintian_options=(--fail-on error,warning)
[ "$hardened" = 1 ] && lintian_options=(--pedantic --display-info --fail-on error,warning,info,pedantic)
status=0
lintian "${lintian_options[@]}" "$deb" >"$out/lintian.log" 2>&1 || status=$?
# It warns when run as root, as the tests are here.
sed -i '/running with root privileges/d' "$out/lintian.log"
[ "$status" = 0 ] || fail "lintian ${lintian_options[*]}:"$'\n'"$(cat "$out/lintian.log")"
echo "package test: $(basename "$deb"), $(echo "$files" | wc -l) files; Depends: $depends;" \
    "lintian ${lintian_options[*]}: clean"
