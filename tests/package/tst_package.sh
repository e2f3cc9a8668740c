#!/usr/bin/env bash
# Builds the Debian package from a build tree's binaries (no second build) and
# checks it as a shop meets it: its files and their modes, its dependencies
# against the libraries the program needs, lintian, and the installed launcher
# started on a fake home, where it must make the data folder, place the
# delivered data.mdb there, start the program on it, and leave a shop's own
# data.mdb alone.
#
#   tests/package/tst_package.sh <build dir> <output dir>
#
# The package is left in the output dir as velmora_<version>_<arch>.deb.
set -euo pipefail

build=$(readlink -f -- "$1")
mkdir -p -- "$2"
out=$(readlink -f -- "$2")
here=$(dirname -- "$(readlink -f -- "$0")")
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
die() {
    echo "FAIL: $*" >&2
    exit 1
}
pass() {
    echo "PASS: $*"
}

for tool in cpack dpkg-deb dpkg-shlibdeps lintian objdump sqlite3; do
    command -v "$tool" >/dev/null || die "$tool is missing: run scripts/install-deps.sh"
done

version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
[ -n "$version" ] || die "no package version in $build/CPackConfig.cmake"
arch=$(dpkg --print-architecture)
deb=$out/velmora_${version}_${arch}.deb

# --- the package --------------------------------------------------------------
rm -f -- "$out"/*.deb
if ! cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1; then
    cat "$out/cpack.log" >&2
    die "cpack failed"
fi
[ -f "$deb" ] || die "cpack made no $(basename "$deb"): $(ls "$out")"
pass "built $(basename "$deb") ($(du -k "$deb" | cut -f1) KB)"

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-package.XXXXXX")
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill -9 "$p" 2>/dev/null || true; done
    rm -rf -- "$work"
}
trap cleanup EXIT

# --- its control fields ---------------------------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = velmora ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)'"
# Package names of a relation field, without versions and alternatives.
names() { field "$1" | tr ',|' '\n\n' | sed 's/(.*//; s/^ *//; s/ *$//' | sed '/^$/d' | sort -u; }
depends=$(names Depends)
# Loaded at run time without being named by the binary: the Qt SQL driver for
# data.mdb and the fonts receipts are laid out in.
for p in libqt6sql6-sqlite fonts-noto-cjk fonts-liberation2; do
    grep -qx -- "$p" <<<"$depends" || fail "Depends lacks $p: $(field Depends)"
done

# --- its files --------------------------------------------------------------------
# Every file, with its mode and owner; directories aside.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $1, $2, $6}' | sort >"$work/files"
cat >"$work/expected" <<EOF
-rw-r--r-- root/root ./usr/share/applications/velmora.desktop
-rw-r--r-- root/root ./usr/share/doc/velmora/changelog.gz
-rw-r--r-- root/root ./usr/share/doc/velmora/copyright
-rw-r--r-- root/root ./usr/share/icons/hicolor/scalable/apps/velmora.svg
-rw-r--r-- root/root ./usr/share/man/man1/velmora.1.gz
-rw-r--r-- root/root ./usr/share/velmora/data.mdb
-rwxr-xr-x root/root ./usr/bin/velmora
-rwxr-xr-x root/root ./usr/lib/velmora/Velmora
EOF
sort -o "$work/expected" "$work/expected"
if diff -u "$work/expected" "$work/files" >"$work/files.diff"; then
    pass "files and modes"
else
    fail "files differ from those expected (-expected +package):"
    cat "$work/files.diff" >&2
fi

root=$work/root
dpkg-deb -x "$deb" "$root"

# The template is the delivered database, whole.
cmp -s "$root/usr/share/velmora/data.mdb" "$build/delivered/data.mdb" \
    || fail "usr/share/velmora/data.mdb is not the delivered database"
[ "$(sqlite3 "$root/usr/share/velmora/data.mdb" 'PRAGMA integrity_check')" = ok ] \
    || fail "the template fails its integrity check"

# Every library the program needs comes from a package it depends on:
# dpkg-shlibdeps read them from the binary.
program=$root/usr/lib/velmora/Velmora
needed=$(objdump -p "$program" | awk '$1 == "NEEDED" {print $2}')
[ -n "$needed" ] || fail "the program names no library"
for lib in $needed; do
    # "libc6:amd64: /lib/x86_64-linux-gnu/libc.so.6", "libc6-i386: /lib32/libc.so.6"
    owners=$(dpkg -S "*/$lib" 2>/dev/null | sed -n 's/: \/.*//p' | tr ',' '\n' \
        | sed "s/^ *//; s/:$arch\$//" | sort -u || true)
    [ -n "$owners" ] || { fail "no installed package holds $lib"; continue; }
    [ -n "$(comm -12 <(echo "$owners") <(echo "$depends"))" ] \
        || fail "$lib (from $(echo $owners)) is in no dependency: $(field Depends)"
done
if objdump -p "$program" | grep -E '^ *(RPATH|RUNPATH) ' >/dev/null; then
    fail "the program keeps a library search path"
fi
[ "$failures" = 0 ] && pass "dependencies: $(echo $depends)"

# The menu entry starts the launcher, with the program's names and the icon.
entry=$root/usr/share/applications/velmora.desktop
value() { sed -n "s/^$1=//p" "$entry"; }
[ "$(value Exec)" = velmora ] || fail "menu entry Exec is '$(value Exec)'"
[ "$(value Icon)" = velmora ] || fail "menu entry Icon is '$(value Icon)'"
[ "$(value 'Name\[zh_CN\]')" = 'Velmora销售小票打印软件(标准版)' ] || fail "menu entry Name[zh_CN] is '$(value 'Name\[zh_CN\]')'"
[ -n "$(value Name)" ] || fail "menu entry has no Name"

# --- lintian: no error; only the warnings README.md explains -------------------
# Kept in step with "Debian package" in README.md.
allowed_warnings="$here/lintian-warnings"
# (lintian says running as root is not recommended; CI runs as root.)
lintian_ok=1
lintian --fail-on error --tag-display-limit 0 "$deb" >"$work/lintian" 2>&1 || lintian_ok=0
cat "$work/lintian"
[ "$lintian_ok" = 1 ] || fail "lintian reports errors, or could not check the package"
unexplained=$(sed -n 's/^W: [^ ]* \([^ ]*\).*/\1/p' "$work/lintian" | sort -u \
    | comm -23 - <(sed '/^#/d; /^$/d' "$allowed_warnings" | sort -u))
[ -z "$unexplained" ] || fail "lintian warnings README.md does not explain: $(echo $unexplained)"
[ "$failures" = 0 ] && pass "lintian: no errors, no unexplained warnings"

# --- the launcher on a fake home ------------------------------------------------
home=$work/home
mkdir -p "$home" "$work/run"
chmod 700 "$work/run"
launcher=$root/usr/bin/velmora
shortcut="$home/Desktop/Velmora销售小票打印软件(标准版).desktop"
product="insert into spxx (品名, 单价) values ('开业前的商品', 9.5)"

# Starts the launcher with a clean environment (plus the given variables),
# waits until the program has opened its database and written its desktop
# shortcut (its login window is up), and ends it. Fails when it does not
# get there within 30 s.
start() {
    rm -f -- "$shortcut"
    env -i PATH=/usr/bin:/bin HOME="$home" XDG_RUNTIME_DIR="$work/run" \
        QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 "$@" "$launcher" >"$work/program.log" 2>&1 &
    local pid=$!
    pids+=("$pid")
    local started=0
    for _ in $(seq 300); do
        if [ -s "$shortcut" ]; then started=1; break; fi
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    if [ "$started" != 1 ]; then
        cat "$work/program.log" >&2
        fail "the program started by the launcher ($*) did not reach its login window"
        return 1
    fi
}

# First start: ~/Velmora is made and gets the delivered database.
if start; then
    if cmp -s "$home/Velmora/data.mdb" "$root/usr/share/velmora/data.mdb"; then
        pass "first start places the delivered data.mdb in ~/Velmora"
    else
        fail "~/Velmora/data.mdb is not the delivered database"
    fi
    [ -w "$home/Velmora/data.mdb" ] || fail "~/Velmora/data.mdb cannot be written"
    [ -z "$(find "$home/Velmora" -name '*.part')" ] || fail "a partial copy is left in ~/Velmora"
    # The program's own desktop shortcut starts it again through the launcher.
    grep -qxF "Exec=\"$launcher\"" "$shortcut" || fail "desktop shortcut: $(grep ^Exec= "$shortcut")"
    grep -qxF "Path=$home/Velmora" "$shortcut" || fail "desktop shortcut: $(grep ^Path= "$shortcut")"
fi

# A shop's own data.mdb, with its products, is never replaced.
sqlite3 "$home/Velmora/data.mdb" "$product"
if start; then
    if [ "$(sqlite3 "$home/Velmora/data.mdb" "select count(*) from spxx where 品名 = '开业前的商品'")" = 1 ]; then
        pass "an existing data.mdb is left alone"
    else
        fail "the existing ~/Velmora/data.mdb was replaced"
    fi
fi

# Another folder through VELMORA_HOME, made with its parents; ~/Velmora is
# not touched.
other="$work/店里 的数据/收银台 1"
mv "$home/Velmora" "$work/kept"
if start VELMORA_HOME="$other"; then
    if cmp -s "$other/data.mdb" "$root/usr/share/velmora/data.mdb" && [ ! -e "$home/Velmora" ]; then
        pass "VELMORA_HOME names the data folder"
    else
        fail "VELMORA_HOME: $(ls -A "$other" 2>&1); ~/Velmora: $(ls -A "$home/Velmora" 2>&1)"
    fi
fi

# A folder that cannot be made is told, and nothing starts.
touch "$work/a-file"
if env -i PATH=/usr/bin:/bin HOME="$home" VELMORA_HOME="$work/a-file/Velmora" "$launcher" 2>"$work/refused"; then
    fail "the launcher went on without its data folder"
elif grep -qF "$work/a-file/Velmora" "$work/refused"; then
    pass "a data folder that cannot be made is refused: $(cat "$work/refused")"
else
    fail "the refusal does not name the folder: $(cat "$work/refused")"
fi

if [ "$failures" != 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "package checked: $deb"
