#!/usr/bin/env bash
# Builds the demo game's packs: every demo/*.utf8 file is converted to Shift-JIS (code page 932)
# and stored under its name without ".utf8", other files as they are, in a staging folder, which
# kelpack turns into GameData/data0.pack (with its name table) in the folder given. The media are
# made here by the project's tools: the pictures by kelpaint, the message and ruby fonts by
# kelfont, the animations by kelanim from the descriptions in demo/art/, the twinkling star by
# kelmovie, the sounds by kelsound (bgm\, voice\ and se\).
#
#   tools/build-demo.sh OUTPUT_FOLDER [KELPACK [SYSTEMINFO]]
#
# KELPACK is the built kelpack program, default build/tools/kelpack beside this script's project;
# the other tools are taken from its folder. SYSTEMINFO is the built system-information library,
# default SystemInfo.so at the top of the build folder that holds kelpack.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${1:?usage: build-demo.sh OUTPUT_FOLDER [KELPACK [SYSTEMINFO]]}"
kelpack="${2:-$here/build/tools/kelpack}"
mkdir -p "$out/GameData"
out="$(cd "$out" && pwd)"
[ -x "$kelpack" ] || { echo "build-demo.sh: no kelpack program at $kelpack" >&2; exit 1; }
kelpack="$(cd "$(dirname "$kelpack")" && pwd)/$(basename "$kelpack")"

staging="$(mktemp -d)"
trap 'rm -rf "$staging"' EXIT

cd "$here/demo"
while IFS= read -r -d '' f; do
    rel="${f#./}"
    case "$rel" in
        README.md | art/*) continue ;;
        *.utf8)
            mkdir -p "$staging/$(dirname "$rel")"
            iconv -f UTF-8 -t CP932 "$rel" > "$staging/${rel%.utf8}" ;;
        *)
            mkdir -p "$staging/$(dirname "$rel")"
            cp "$rel" "$staging/$rel" ;;
    esac
done < <(find . -type f -print0)

# The media, made by the tools built beside kelpack.
tools="$(dirname "$kelpack")"
for tool in kelpaint kelanim kelmovie kelsound kelfont; do
    [ -x "$tools/$tool" ] || { echo "build-demo.sh: no $tool program beside kelpack" >&2; exit 1; }
done
"$tools/kelpaint" demo "$staging"
"$tools/kelmovie" --type alpha --fps 10 "$staging/sparkle" "$staging/image/sparkle.m" >/dev/null
rm -rf "$staging/sparkle"
for description in "$here"/demo/art/*.anim; do
    name="$(basename "$description" .anim)"
    cp "$description" "$staging/image/$name.anim"
    "$tools/kelanim" "$staging/image/$name.anim" "$staging/image/$name.b"
    rm "$staging/image/$name.anim"
done
# The system menu reads its files below System\Menu\.
mv "$staging/image/menu_button.b" "$staging/System/Menu/menu_button.b"
# The save and load screens read theirs below System\FileSelect\.
mv "$staging/image/fs_slot.b" "$staging/image/fs_button.b" "$staging/System/FileSelect/"
# The pictures and the movie now live inside the animations.
rm "$staging"/image/{hana,sora,btn_start,btn_sky,btn_flowers,msg_frame,blank,bar_track,menu_button,fs_slot,fs_button}.png "$staging/image/sparkle.m"
"$tools/kelsound" demo "$staging"
# The message font: the ASCII characters, the punctuation, kana and the first level of kanji of
# Shift-JIS, drawn from the installed gothic face in 32-pixel cells, the size the message window
# types in, so that its glyphs are drawn as they are, not scaled. The ruby font: the kana alone,
# in 12-pixel cells, the size the script asks for its ruby.
mkdir -p "$staging/System/font"
"$tools/kelfont" --name KelDemo --cell 32x32 --range 20-7E --range 8140-81FC --range 829F-82F1 \
    --range 8340-8396 --range 889F-9872 "ＭＳ ゴシック" "$staging/System/font" >/dev/null
"$tools/kelfont" --name KelRuby --cell 12x12 --range 829F-82F1 --range 8340-8396 \
    "ＭＳ ゴシック" "$staging/System/font" >/dev/null

rm -f "$out/GameData/data0.pack" "$out/GameData/data0.hash"
"$kelpack" create --hash "$out/GameData/data0.pack" "$staging" >/dev/null
echo "demo packs built in $out/GameData"

# The system-information library the program binds at start as "DLL\SystemInfo.dll".
systeminfo="${3:-$(dirname "$(dirname "$kelpack")")/SystemInfo.so}"
if [ -f "$systeminfo" ]; then
    mkdir -p "$out/DLL"
    cp "$systeminfo" "$out/DLL/SystemInfo.so"
else
    echo "build-demo.sh: no SystemInfo.so at $systeminfo; the program will not start the demo" >&2
fi
