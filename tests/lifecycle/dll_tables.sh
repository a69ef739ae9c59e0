#!/usr/bin/env bash
# Checks kelvor.dll's import and export tables: it may import only from the
# Windows system libraries below (never psapi.dll, which is bound at run time),
# and it exports exactly one entry, named Main. The 32-bit DLL stays within 40 KiB.
set -euo pipefail
objdump=${1:?usage: dll_tables.sh OBJDUMP path/to/kelvor.dll}
dll=${2:?usage: dll_tables.sh OBJDUMP path/to/kelvor.dll}
allowed=" kernel32.dll user32.dll gdi32.dll comctl32.dll advapi32.dll msvcrt.dll "
status=0
fail() { echo "FAIL: $*" >&2; status=1; }

dump=$("$objdump" -p "$dll")

imports=$(sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' <<<"$dump" | tr '[:upper:]' '[:lower:]' | sort -u)
[ -n "$imports" ] || fail "no import table found"
for library in $imports; do
    case "$allowed" in
    *" $library "*) ;;
    *) fail "imports from $library" ;;
    esac
done
if grep -qi 'psapi' <<<"$dump"; then fail "psapi appears in the tables"; fi

# Names listed after "[Ordinal/Name Pointer] Table" up to the next blank line.
names=$(awk '/^\[Ordinal\/Name Pointer\] Table/ { on = 1; next }
             on && /^[[:space:]]*$/ { exit }
             on { print $NF }' <<<"$dump")
# Entries of the export address table (names and ordinal-only exports alike).
addresses=$(awk '/^Export Address Table -- / { on = 1; next }
                 on && /^[[:space:]]*$/ { exit }
                 on { n++ } END { print n + 0 }' <<<"$dump")
[ "$names" = "Main" ] || fail "exported names are [$(echo $names)], expected [Main]"
[ "$addresses" = 1 ] || fail "$addresses exported entries, expected 1"

bytes=$(stat -c %s "$dll")
if grep -q 'file format pei-i386' <<<"$("$objdump" -f "$dll")" && [ "$bytes" -gt 40960 ]; then
    fail "the 32-bit DLL has $bytes bytes, more than 40 KiB"
fi

if [ $status = 0 ]; then echo "imports: $(echo $imports); export: $names; $bytes bytes"; fi
exit $status
