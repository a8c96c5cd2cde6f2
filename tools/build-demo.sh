#!/usr/bin/env bash
# Builds the demo game's packs: every demo/*.utf8 file is converted to Shift-JIS (code page 932)
# and stored under its name without ".utf8", other files as they are, in a staging folder, which
# kelpack turns into GameData/data0.pack (with its name table) in the folder given. The sounds are
# made by kelsound (bgm\, voice\ and se\).
#
#   tools/build-demo.sh OUTPUT_FOLDER [KELPACK]
#
# KELPACK is the built kelpack program; default build/tools/kelpack beside this script's project.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${1:?usage: build-demo.sh OUTPUT_FOLDER [KELPACK]}"
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
        README.md) continue ;;
        *.utf8)
            mkdir -p "$staging/$(dirname "$rel")"
            iconv -f UTF-8 -t CP932 "$rel" > "$staging/${rel%.utf8}" ;;
        *)
            mkdir -p "$staging/$(dirname "$rel")"
            cp "$rel" "$staging/$rel" ;;
    esac
done < <(find . -type f -print0)

# The demo's sounds are synthesised by kelsound, built beside kelpack.
kelsound="$(dirname "$kelpack")/kelsound"
if [ -x "$kelsound" ]; then
    "$kelsound" demo "$staging"
else
    echo "build-demo.sh: no kelsound program beside kelpack; the demo has no sounds" >&2
fi

rm -f "$out/GameData/data0.pack" "$out/GameData/data0.hash"
"$kelpack" create --hash "$out/GameData/data0.pack" "$staging" >/dev/null
echo "demo packs built in $out/GameData"
