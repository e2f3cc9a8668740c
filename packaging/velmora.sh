#!/bin/sh
# Starts Velmora in the shop's own folder, $VELMORA_HOME or else ~/Velmora.
# The program keeps everything in data.mdb of its current folder; the first
# start places the delivered database there. A data.mdb that is there already
# holds the shop's sales and is never replaced.
set -u

fail() {
    printf 'velmora: %s\n' "$1" >&2
    exit 1
}

# The program and the delivered database lie beside this script's own folder
# (/usr/bin -> /usr/lib/velmora, /usr/share/velmora), wherever it was unpacked.
self=$(readlink -f -- "$0") || fail "找不到启动脚本自身的位置"
prefix=${self%/*/*}
program=$prefix/lib/velmora/Velmora
template=$prefix/share/velmora/data.mdb

home=${VELMORA_HOME:-}
if [ -z "$home" ]; then
    [ -n "${HOME:-}" ] || fail "没有设置 HOME，也没有设置 VELMORA_HOME，不知道数据文件夹在哪里"
    home=$HOME/Velmora
fi
mkdir -p -- "$home" 2>/dev/null || fail "无法建立数据文件夹“$home”"
cd -- "$home" || fail "无法进入数据文件夹“$home”"

# Copied under a name of its own and renamed only when whole, without
# replacing a data.mdb that another start placed meanwhile: a start cut short
# never leaves half a database behind, and two starts at once never overwrite
# each other. When the copy fails the program still starts, and says that
# data.mdb is missing from this folder.
if [ ! -e data.mdb ] && [ ! -L data.mdb ]; then
    part=.data.mdb.$$.part
    rm -f -- "$part"
    if cp -- "$template" "$part" && sync -- "$part"; then
        mv -n -- "$part" data.mdb
    else
        printf 'velmora: %s\n' "无法把初始数据库“$template”复制到“$home”" >&2
    fi
    rm -f -- "$part"
fi

# The program's desktop shortcut starts the program through this script too.
VELMORA_LAUNCHER=$self
export VELMORA_LAUNCHER
exec "$program" "$@"
