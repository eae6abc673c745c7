#!/usr/bin/env bash
# `cmake --install` of the build: the programs and their manual pages, the desktop file, the
# icon at every size and the AppStream metainfo, where a desktop looks for them, the
# copyright and changelog Debian asks for, and nothing else. The desktop file
# and the metainfo pass their validators and agree with the system and the program.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$1
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
fail() {
    echo "install test: $*" >&2
    exit 1
}

cmake --install "$build" --prefix "$dest/usr" >/dev/null

share=usr/share
expected=(usr/bin/parvane usr/bin/parvane-cut usr/lib/parvane/parvane-codec.so
    usr/lib/parvane/parvane-player.so
    usr/lib/parvane/parvane-web.so "$share/applications/parvane.desktop"
    "$share/metainfo/example.parvane.Parvane.metainfo.xml" "$share/doc/parvane/copyright"
    "$share/doc/parvane/changelog.gz" "$share/man/man1/parvane.1.gz"
    "$share/man/man1/parvane-cut.1.gz")
sizes=(16 32 48 64 128 256)
for size in "${sizes[@]}"; do
    expected+=("$share/icons/hicolor/${size}x${size}/apps/parvane.png")
done
wanted=$(printf '%s\n' "${expected[@]}" | sort)
installed=$(cd "$dest" && find . -type f -printf '%P\n' | sort)
[ "$installed" = "$wanted" ] ||
    fail "installed files differ from the layout:"$'\n'"$(diff <(echo "$wanted") <(echo "$installed"))"

for program in usr/bin/parvane usr/bin/parvane-cut; do
    [ -x "$dest/$program" ] || fail "$program is not executable"
done
for size in "${sizes[@]}"; do
    kind=$(file -b "$dest/$share/icons/hicolor/${size}x${size}/apps/parvane.png")
    [[ "$kind" == "PNG image data, $size x $size,"* ]] || fail "the ${size} px icon is: $kind"
done

desktop="$dest/$share/applications/parvane.desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate refuses the desktop file"
# The type the system's shared-mime-info gives a .vob, so file managers offer "Open with".
vob_type=$(awk -F: '$3 == "*.vob" { print $2; exit }' /usr/share/mime/globs2)
[ -n "$vob_type" ] || fail "shared-mime-info knows no type for *.vob"
grep -qx "MimeType=$vob_type;" "$desktop" || fail "the desktop file does not offer $vob_type"
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[ -x "$dest/usr/bin/${exec_line%% *}" ] || fail "Exec=$exec_line names no installed program"
[[ "$exec_line" == *" %f" ]] || fail "Exec=$exec_line does not pass the file"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$dest/$share/icons/hicolor/48x48/apps/$icon.png" ] || fail "Icon=$icon is not installed"

metainfo="$dest/$share/metainfo/example.parvane.Parvane.metainfo.xml"
appstreamcli validate --no-net "$metainfo" >"$dest/appstream.log" 2>&1 ||
    fail "appstreamcli refuses the metainfo: $(cat "$dest/appstream.log")"
grep -q '<launchable type="desktop-id">parvane.desktop</launchable>' "$metainfo" ||
    fail "the metainfo does not launch parvane.desktop"
version=$(env -u DISPLAY "$dest/usr/bin/parvane" --version)
grep -q "<release version=\"${version#parvane }\"" "$metainfo" ||
    fail "the metainfo has no release for $version"
echo "install test: ${#expected[@]} files in place; desktop file and metainfo valid; $version"
