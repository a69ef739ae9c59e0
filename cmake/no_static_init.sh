#!/usr/bin/env bash
# Stops the link of kelvor.dll when one of its objects needs the C runtime's DLL
# start-up code, which the DLL is linked without: static constructors or
# destructors, exit-time callbacks or thread-local data would silently never run.
set -euo pipefail
objdump=$1
shift
status=0
for object in "$@"; do
    sections=$("$objdump" -h "$object" | awk '$2 ~ /^\.(ctors|dtors|init_array|fini_array|tls|CRT\$)/ { print $2 }')
    calls=$("$objdump" -t "$object" | awk '$NF ~ /^_*(atexit|cxa_atexit|onexit|cxa_thread_atexit)$/ { print $NF }')
    if [ -n "$sections$calls" ]; then
        echo "$object needs the C runtime's start-up code: $(echo $sections $calls)" >&2
        status=1
    fi
done
exit $status
