#!/usr/bin/env bash
# Prepares a demo working folder: copies of the shipped lists, about text and default skin, and some
# junk for the junk-file list to find. Everything the demo lists name lies inside it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
demo=${1:-"$root/demo"}
mkdir -p "$demo"
# The demo keeps lists of its own: the shipped ones name the real junk of the home.
cp "$root/tools/demo/Wjql.ini" "$root/tools/demo/Zcql.ini" "$root/data/Guanyu.dat" "$demo/"
# The default skin, so the window opens in its skinned look.
cp "$root/skins/blue.she" "$demo/Pifu.she"
cd "$demo"
mkdir -p 临时文件 日志 缩略图 缓存 备份 文档
for i in 1 2 3; do
  : > "临时文件/setup$i.tmp"
  : > "日志/update$i.log"
  : > "缓存/page$i.cache"
done
: > "临时文件/~WRL0001.tmp"
: > "缩略图/Thumbs.db"
: > "备份/报告.doc.bak"
: > "旧设置.old"
echo "这份文档不在清理列表里，清理后仍然保留。" > "文档/说明.txt"
# A small Wine prefix of the demo's own: drive C with a maker's branding (OEMINFO.INI, OEMLOGO.BMP,
# OEMLINKICON.ICO) for the system page, and no registry (no system.reg), so registry deletions
# fail at once and nothing is created.
prefix="$demo/wine-prefix"
mkdir -p "$prefix/dosdevices" "$prefix/drive_c/windows/system32"
ln -sfn ../drive_c "$prefix/dosdevices/c:"
cp "$root"/assets/demo/OEM* "$prefix/drive_c/windows/system32/"
