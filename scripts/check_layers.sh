#!/usr/bin/env bash
# Checks that includes only point down: a file under src/ may include from its own
# folder and from the layers below it, never from a layer above or from a peer
# folder of its own layer; and no files include each other in a circle (a file's
# .h and .cpp count as one). Prints every offence and fails if there is any.
set -euo pipefail
src=${1:-$(cd "$(dirname "$0")/../src" && pwd)}

# The layers, from the floor up. Folders on one line are peers: neither includes the other.
LAYERS=(
    "runtime"
    "process toolkit"
    "lifecycle"
    "frontend"
)

rank() {
    local i
    for i in "${!LAYERS[@]}"; do
        case " ${LAYERS[$i]} " in *" $1 "*) echo "$i"; return ;; esac
    done
    echo "unknown"
}

status=0
edges=""
cd "$src"
for file in */*.h */*.cpp; do
    folder=${file%%/*}
    own=$(rank "$folder")
    if [ "$own" = unknown ]; then
        echo "FAIL: $file: folder '$folder' is not in the list of layers"
        status=1
        continue
    fi
    node=${file%.*}
    while read -r included; do
        [ -n "$included" ] || continue
        target=${included%%/*}
        other=$(rank "$target")
        if [ "$target" != "$folder" ] && { [ "$other" = unknown ] || [ "$other" -ge "$own" ]; }; then
            echo "FAIL: $file includes $included, which is not below its layer"
            status=1
        fi
        [ "${included%.*}" = "$node" ] || edges+="$node ${included%.*}"$'\n'
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done

# tsort names the files of a circle when it finds one.
if ! loops=$(printf '%s' "$edges" | tsort 2>&1 >/dev/null) || [ -n "$loops" ]; then
    echo "FAIL: files include each other in a circle:"
    printf '%s\n' "$loops" | sed 's/^/    /'
    status=1
fi
[ $status = 0 ] && echo "includes point down; no circles"
exit $status
