#!/usr/bin/env bash
# Every program of the build (the launcher, the probe, the test programs and
# their children, the soak and the benchmarks) carries exactly one application
# manifest, resource type 24 with id 1 in one language, of the size of
# packaging/kelvor.manifest. mingw-w64's compiler links in a default
# manifest of its own where its default-manifest.o exists (not on Debian); beside
# ours, the linker then keeps one of the two or fails.
set -euo pipefail
objdump=${1:?usage: manifests_test.sh OBJDUMP MANIFEST BIN_DIR}
manifest=${2:?}
bin=${3:?}
status=0
fail() { echo "FAIL: $*" >&2; status=1; }

count=0
for program in "$bin"/*.exe; do
    name=$(basename "$program")
    count=$((count + 1))
    dump=$("$objdump" -p "$program")
    # The resource directory's entries by level (type, name, language); each
    # entry of type 24 (0x18) and the name and language entries under it.
    entries=$(awk '/^The .rsrc Resource Directory section:/ { on = 1; next }
                   on && /^ Resources start/ { exit }
                   on && / Entry: / {
                       # Indented by 3, 5 and 7 spaces after the offset.
                       match($0, /^[0-9a-f]+ +/); match(substr($0, 1, RLENGTH), / +$/)
                       level = (RLENGTH - 3) / 2; id = $4; sub(/,$/, "", id)
                       if (level == 0) inside = (id == "0x000018")
                       if (inside) print level, id
                   }
                   on && /Leaf:/ && inside { print "leaf", $6 }' <<<"$dump")
    types=$(grep -c '^0 ' <<<"$entries" || true)
    names=$(grep -c '^1 ' <<<"$entries" || true)
    languages=$(grep -c '^2 ' <<<"$entries" || true)
    if [ "$types$names$languages" != 111 ]; then
        fail "$name: $names manifests in $languages languages, expected one"
        continue
    fi
    [ "$(grep '^1 ' <<<"$entries")" = "1 0x000001" ] || fail "$name: the manifest's id is not 1"
    size=$(grep '^leaf ' <<<"$entries" | cut -d' ' -f2 | tr -d ,)
    [ $((size)) = "$(stat -c %s "$manifest")" ] \
        || fail "$name: its manifest is not $(basename "$manifest")"
done
[ $count -gt 10 ] || fail "only $count programs in $bin"
[ $status = 0 ] && echo "$count programs carry one manifest each, kelvor.manifest"
exit $status
