#!/usr/bin/env bash
# Builds the Debian package from the built tree with CPack and checks what apt would install: the
# dependencies found from the programs plus the ones no tool can see, every file under /usr, a menu
# entry that names the installed launcher, stripped programs, and a changelog that matches the version.
#
# usage: DebianPackageTest.sh BUILD_DIR
set -uo pipefail
build=$1

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

if ! cpack --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1; then
    cat "$tmp/cpack.log" >&2
    fail "cpack failed"
    exit 1
fi
debs=("$tmp"/out/norvi-sms_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    fail "expected one norvi-sms package, found: ${debs[*]}"
    exit 1
fi
deb=${debs[0]}

field() { dpkg-deb -f "$deb" "$1"; }
depends=", $(field Depends),"
# Found from the programs by dpkg-shlibdeps, and loaded at run time where no tool can see them.
for package in libqt6widgets6 libqt6gui6 libqt6core6 libstdc++6 libc6 fonts-arphic-uming qt6-translations-l10n; do
    [[ $depends == *", $package"[\ ,]* ]] || fail "Depends lacks $package: $(field Depends)"
done
[ "$(field Recommends)" = "fcitx5-frontend-qt6 | ibus" ] || fail "Recommends is $(field Recommends)"
[ "$(field Package)" = norvi-sms ] || fail "package name is $(field Package)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture is $(field Architecture)"
[ -n "$(field Section)" ] || fail "the package has no Section"
description=$(field Description)
[[ $description == *$'\n'* ]] || fail "the package has no long description"

dpkg-deb -x "$deb" "$tmp/root" || fail "dpkg-deb cannot unpack the package"
listing=$(dpkg-deb -c "$deb")
bad=$(awk '$6 !~ /^\.\/usr\// && $6 != "./"' <<<"$listing")
[ -z "$bad" ] || fail "files outside /usr: $bad"
grep -q '^\./usr/local' <<<"$(awk '{print $6}' <<<"$listing")" && fail "files under /usr/local"
owners=$(awk '{print $2}' <<<"$listing" | sort -u)
[ "$owners" = "root/root" ] || fail "files not owned by root: $owners"

for file in usr/bin/norvi-sms usr/bin/norvi-cli usr/bin/norvi-gwsim usr/libexec/norvi-sms/norvi-sms-launch \
    usr/share/applications/norvi-sms.desktop usr/share/icons/hicolor/scalable/apps/norvi-sms.svg \
    usr/share/icons/hicolor/48x48/apps/norvi-sms.png usr/share/icons/hicolor/256x256/apps/norvi-sms.png \
    usr/share/man/man1/norvi-sms.1.gz usr/share/man/man1/norvi-cli.1.gz usr/share/man/man1/norvi-gwsim.1.gz \
    usr/share/doc/norvi-sms/README.md usr/share/doc/norvi-sms/copyright usr/share/doc/norvi-sms/changelog.gz \
    usr/share/metainfo/example.norvi_sms.NorviSMS.metainfo.xml; do
    [ -f "$tmp/root/$file" ] || fail "the package lacks /$file"
done

exec_line=$(sed -n 's/^Exec=//p' "$tmp/root/usr/share/applications/norvi-sms.desktop")
[ "$exec_line" = /usr/libexec/norvi-sms/norvi-sms-launch ] || fail "the menu entry starts '$exec_line'"

for program in norvi-sms norvi-cli norvi-gwsim; do
    sections=$(readelf -S "$tmp/root/usr/bin/$program" 2>/dev/null)
    grep -qE '\.debug_info|\.symtab' <<<"$sections" && fail "/usr/bin/$program is not stripped"
done

top=$(gzip -dc "$tmp/root/usr/share/doc/norvi-sms/changelog.gz" | head -1)
[[ $top == "norvi-sms ($(field Version))"* ]] || fail "the changelog's latest entry '$top' is not version $(field Version)"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "package $(basename "$deb") checked: Depends: $(field Depends)"
