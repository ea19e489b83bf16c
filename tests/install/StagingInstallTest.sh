#!/usr/bin/env bash
# Installs the built tree into a staging folder (DESTDIR) and checks it as a user's system would see it:
# the programs run from their installed place, the menu entry is valid and names an installed launcher
# and icon, the manual pages and the README are there, and the launcher starts norvi-sms in a per-user
# folder (made on the first start, private) rather than in the folder the menu happens to start it in.
#
# usage: StagingInstallTest.sh BUILD_DIR PREFIX BINDIR DATADIR MANDIR
set -uo pipefail
build=$1
prefix=$2
bindir=$3
datadir=$4
mandir=$5

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

tmp=$(mktemp -d)
started=()
cleanup() {
    for pid in "${started[@]}"; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    rm -rf "$tmp"
}
trap cleanup EXIT

stage=$tmp/stage
if ! DESTDIR=$stage cmake --install "$build" >"$tmp/install.log" 2>&1; then
    cat "$tmp/install.log" >&2
    fail "cmake --install into $stage failed"
    exit 1
fi
root=$stage$prefix
bin=$root/$bindir
share=$root/$datadir
man=$root/$mandir

# ---- the programs, run from the staging folder with nothing of the build on the way
for program in norvi-sms norvi-cli norvi-gwsim; do
    [ -x "$bin/$program" ] || fail "$bin/$program is not installed as a program"
done
clean_env=(env -i PATH=/usr/bin:/bin LANG=C.UTF-8)
help=$(cd "$tmp" && "${clean_env[@]}" "$bin/norvi-cli" --help) || fail "norvi-cli --help exited with $?"
[[ $help == 用法：norvi-cli* ]] || fail "norvi-cli --help does not start with its usage line: ${help:0:80}"
help=$(cd "$tmp" && "${clean_env[@]}" "$bin/norvi-gwsim" --help) || fail "norvi-gwsim --help exited with $?"
[[ $help == "Usage: norvi-gwsim"* ]] || fail "norvi-gwsim --help does not start with its usage line: ${help:0:80}"

# ---- the menu entry
entry=$share/applications/norvi-sms.desktop
if [ ! -f "$entry" ]; then
    fail "no menu entry at $entry"
    exit 1
fi
validation=$(desktop-file-validate "$entry" 2>&1) || fail "desktop-file-validate rejects the menu entry"
[ -z "$validation" ] || fail "desktop-file-validate: $validation"
key() { sed -n "s/^$1=//p" "$entry"; }
[ "$(key Name)" = "Norvi簡訊服務軟體" ] || fail "menu entry Name is '$(key Name)'"
[[ ";$(key Categories)" == *";Network;"* ]] || fail "menu entry Categories is '$(key Categories)'"
[ -n "$(key GenericName)" ] || fail "menu entry has no GenericName"
exec_line=$(key Exec)
case $exec_line in
"$prefix"/*) ;;
*) fail "menu entry Exec '$exec_line' is not under the prefix $prefix" ;;
esac
launcher=$stage$exec_line
[ -x "$launcher" ] || fail "menu entry Exec '$exec_line' is not an installed program"

# ---- the icon the entry names, in the hicolor theme
icon=$(key Icon)
png_size() {
    local b
    read -r -a b < <(od -An -tu1 -N24 "$1" | tr -s ' \n' '  ')
    [ "${b[*]:0:8}" = "137 80 78 71 13 10 26 10" ] || return 1
    echo "$(((b[16] << 24) | (b[17] << 16) | (b[18] << 8) | b[19]))x$(((b[20] << 24) | (b[21] << 16) | (b[22] << 8) | b[23]))"
}
for size in 48 256; do
    png=$share/icons/hicolor/${size}x${size}/apps/$icon.png
    got=$(png_size "$png" 2>/dev/null) || got="not a PNG"
    [ "$got" = "${size}x${size}" ] || fail "$png: expected a ${size}x${size} PNG, found $got"
done
svg=$share/icons/hicolor/scalable/apps/$icon.svg
grep -qzE '<svg[^>]*viewBox=' "$svg" 2>/dev/null || fail "$svg is not a scalable SVG icon"

# ---- manual pages and README
for program in norvi-sms norvi-cli norvi-gwsim; do
    page=$man/man1/$program.1.gz
    text=$(gzip -dc "$page" 2>/dev/null) || {
        fail "no compressed manual page $page"
        continue
    }
    name_line="${program//-/\\-} \\- "
    grep -qF -- "$name_line" <<<"$text" || fail "$page has no NAME line for $program"
done
zcat "$man/man1/norvi-cli.1.gz" 2>/dev/null | grep -q '^\.SS send$' || fail "the norvi-cli page does not describe its send command"
zcat "$man/man1/norvi-gwsim.1.gz" 2>/dev/null | grep -q '^  \\-\\-port N' || fail "the norvi-gwsim page does not list its options"
cmp -s "$share/doc/norvi-sms/README.md" "$(dirname "$0")/../../README.md" || fail "README.md is not installed"

# ---- the launcher: where norvi-sms starts and what it leaves behind
installed_sms=$(readlink -f "$bin/norvi-sms")

# Waits until process $1 has become norvi-sms (the launcher execs it) and prints its working folder.
norvi_cwd() {
    local i
    for i in $(seq 100); do
        if [ "$(readlink -f "/proc/$1/exe" 2>/dev/null)" = "$installed_sms" ]; then
            readlink -f "/proc/$1/cwd"
            return 0
        fi
        kill -0 "$1" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

wait_for() {
    local i
    for i in $(seq 100); do
        [ -e "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

# case | HOME | XDG_DATA_HOME (- for unset) | expected start folder | seeded with a configuration
cases=(
    "first start|home1|-|home1/.local/share/norvi-sms|no"
    "own data folder|home2|ABS/data2|data2/norvi-sms|yes"
    "relative data folder is ignored|home3|data3|home3/.local/share/norvi-sms|no"
)
for c in "${cases[@]}"; do
    IFS='|' read -r name home xdg expected seeded <<<"$c"
    mkdir -p "$tmp/$home" "$tmp/elsewhere-$home"
    expected=$tmp/$expected
    env=(env -i PATH=/usr/bin:/bin LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen "HOME=$tmp/$home")
    [ "$xdg" = "-" ] || env+=("XDG_DATA_HOME=${xdg/ABS/$tmp}")
    if [ "$seeded" = "yes" ]; then
        # A configuration with no log folder, only the port 8000 (a zero port is refused): the program then
        # makes its log folder in its start folder at once.
        mkdir -p "$expected"
        { head -c 284 /dev/zero; printf '\100\037\000\000'; head -c 40 /dev/zero; } >"$expected/NorviSMSAp.cfg"
    fi
    (cd "$tmp/elsewhere-$home" && exec "${env[@]}" "$launcher") >"$tmp/$home.log" 2>&1 &
    pid=$!
    started+=("$pid")
    cwd=$(norvi_cwd "$pid") || {
        fail "$name: norvi-sms did not start: $(cat "$tmp/$home.log")"
        continue
    }
    [ "$cwd" = "$(readlink -f "$expected")" ] || fail "$name: norvi-sms started in $cwd, expected $expected"
    if [ "$seeded" = "no" ]; then
        mode=$(stat -c %a "$expected" 2>/dev/null)
        [ "$mode" = 700 ] || fail "$name: the launcher made $expected with mode $mode, not private"
    else
        wait_for "$expected/logfiles" || fail "$name: norvi-sms did not make its log folder in $expected"
    fi
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    [ -z "$(ls -A "$tmp/elsewhere-$home")" ] || fail "$name: files left in the folder it was started from: $(ls -A "$tmp/elsewhere-$home")"
    [ -z "$(ls "$tmp/$home")" ] || fail "$name: files left in the home folder's top level: $(ls "$tmp/$home")"
done

# Without a home folder there is no per-user folder: the launcher says so instead of starting in /.
out=$(cd "$tmp" && env -i PATH=/usr/bin:/bin "$launcher" 2>&1) && fail "the launcher started without HOME"
[[ $out == *"HOME 未設定"* ]] || fail "the launcher without HOME said: $out"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "staged install in $root checked"
