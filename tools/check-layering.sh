#!/usr/bin/env bash
# Checks that every include runs down the layers: platform <- foundation <- script, media <- objects
# <- shell <- tools. A folder may include its own files and those of lower folders; script and media
# stand side by side and include neither each other. Prints each include that runs the other way
# and fails when there is one. The argument is the tree to check (default: the working folder).
set -euo pipefail
root=${1:-.}

wrong=0
for folder in platform foundation script media objects shell tools; do
    [ -d "$root/$folder" ] || continue
    # One pass per folder: the folder each quoted include names, compared by rank in awk.
    if grep -rnE --include='*.h' --include='*.cpp' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[a-z]+/' "$root/$folder" |
        awk -v folder="$folder" -v root="$root/" '
            function rank(f) {
                if (f == "platform") return 0; if (f == "foundation") return 1
                if (f == "script" || f == "media") return 2; if (f == "objects") return 3
                if (f == "shell") return 4; if (f == "tools") return 5; return -1
            }
            {
                match($0, /include[[:space:]]*"[a-z]+\//); target = substr($0, RSTART, RLENGTH)
                sub(/^include[[:space:]]*"/, "", target); sub(/\/$/, "", target)
                t = rank(target); own = rank(folder)
                if (t < 0) next
                if (t > own || (t == own && target != folder)) {
                    if (index($0, root) == 1) $0 = substr($0, length(root) + 1)
                    print; found = 1
                }
            }
            END { exit found ? 0 : 1 }'; then
        wrong=1
    fi
done
if [ "$wrong" -ne 0 ]; then
    echo "includes above run against the layers" >&2
    exit 1
fi
