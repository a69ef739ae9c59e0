#!/usr/bin/env bash
# Counts the requests that the window's thread makes to Wine's server during one
# LIST, and during the floor that list_bench times it against (bench/list_bench.cpp):
# with about 100 and then 300 processes running, "list_bench.exe --trace" makes a
# click on LIST up to the event that it gives the window's loop, the LIST over a full
# list that follows, its repaint, the floor and its repaint, opening each
# stretch with a find_atom request of a name of its own ("kelvor-trace 300 list").
#
# Wine's server prints every request of a thread whose process runs with
# WINEDEBUG=+server on the server's own standard error: the server is started again
# here writing it to a file (never a pipe: the prefix's services would hold it open),
# and list_bench runs traced (its children too: they inherit the setting, and each
# adds about 1,300 lines of its start). Between two marks only the lines of the
# marking thread that make a request (not the replies) are counted. In a LIST or floor stretch, the rows are the requests from
# the process list's call (list_processes) to the last close_handle; the rest of the
# stretch (before that call: the rows removed, the repainting held; after the last
# close: the repainting released, the column fitted) is reported apart, as are the
# repaint and the click (SendInput, then the window's own event loop taking the
# pointer's messages up to the control event of LIST). The cost of one more row is the difference of the rows' requests between
# 300 and 100 processes over the difference of the rows.
#
# Prints the table and writes it to build/<toolchain>/list_trace.txt; the server's
# trace stays in list_trace.log beside it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../scripts/common.sh"
kelvor_settings
kelvor_prepare
log=$KELVOR_BUILD/list_trace.log
rows=$KELVOR_BUILD/list_trace-rows.txt
out=$KELVOR_BUILD/list_trace.txt

# The server that kelvor_prepare started prints where this script's standard error
# goes: start it again, writing to the log.
wineserver -k
wineserver -w
kelvor_wineserver 2>"$log"
(cd "$KELVOR_BUILD/bin" && WINEDEBUG=+server wine list_bench.exe --trace >"$rows" 2>&1 </dev/null) \
    || { cat "$rows" >&2; exit 1; }

awk -v bits="$KELVOR_BITS" '
# The rows each side filled, from list_bench: "trace 300: LIST rows 304, floor rows 304".
FNR == NR {
    if ($1 == "trace") { n = $2; sub(":", "", n); listRows[n] = $5 + 0; floorRows[n] = $8 + 0 }
    next
}
# A mark: the thread that makes it is the window thread; a new stretch starts.
/: find_atom\( name=L"kelvor-trace / {
    window = substr($0, 1, index($0, ":") - 1)
    label = $0
    sub(/.*kelvor-trace /, "", label)
    sub(/".*/, "", label)
    split(label, parts, " ")
    count = parts[1]; stretch = parts[2]
    if (!(count in seen)) { seen[count] = 1; counts[++ncounts] = count }
    next
}
stretch != "" && stretch != "end" && index($0, window ": ") == 1 {
    request = substr($0, length(window) + 3)
    # A request line is "name( ...)"; its reply is "name() = ...".
    if (request !~ /^[a-z_0-9]+\( /) next
    sub(/\(.*/, "", request)
    key = count SUBSEP stretch
    at = ++total[key]
    name[key, at] = request
    if (request == "list_processes") { if (!(key in first)) first[key] = at; calls[key]++ }
    if (request == "close_handle") last[key] = at
}
function report(side, rowsOf,    i, c, key, span, rowsPart, r, a, b, most) {
    printf "%s (%d-bit build): requests of the window thread\n", side, bits
    printf "%9s %6s %10s %14s %8s %19s %8s %6s\n", "processes", "rows", "list calls", "row requests", \
        "a row", "rest of the command", "repaint", "click"
    for (i = 1; i <= ncounts; ++i) {
        c = counts[i]
        key = c SUBSEP (side == "LIST" ? "list" : "floor")
        span = (key in first) ? last[key] - first[key] + 1 : 0
        rowsPart = span - calls[key]
        r = rowsOf[c]
        part[side, c] = rowsPart
        if (r && rowsPart / r > most) most = rowsPart / r
        printf "%9s %6d %10d %14d %8.2f %19d %8d %6s\n", c, r, calls[key], rowsPart, r ? rowsPart / r : 0, \
            total[key] - span, total[c SUBSEP (side == "LIST" ? "list-repaint" : "floor-repaint")], \
            side == "LIST" ? total[c SUBSEP "click"] + 0 : "-"
    }
    a = counts[1]; b = counts[ncounts]
    if (ncounts >= 2 && rowsOf[b] != rowsOf[a])
        printf "one more row: %.2f requests ((%d - %d) / (%d - %d rows))\n", \
            (part[side, b] - part[side, a]) / (rowsOf[b] - rowsOf[a]), part[side, b], \
            part[side, a], rowsOf[b], rowsOf[a]
    printf "at most 8 a row: %s\n", most <= 8.005 ? "met" : "missed"
}
# Which requests make up the rows, a row at a time, at the largest count.
function kinds(side,    c, key, i, j, k, n, t, list) {
    c = counts[ncounts]
    key = c SUBSEP (side == "LIST" ? "list" : "floor")
    if (!(key in first)) return
    delete tally
    for (i = first[key]; i <= last[key]; ++i) if (name[key, i] != "list_processes") tally[name[key, i]]++
    n = 0
    for (k in tally) list[++n] = k
    # Most frequent first.
    for (i = 2; i <= n; ++i)
        for (j = i; j > 1 && tally[list[j]] > tally[list[j - 1]]; --j) { t = list[j]; list[j] = list[j - 1]; list[j - 1] = t }
    printf "%s rows at %s processes, requests a row by kind:", side, c
    for (i = 1; i <= n; ++i) printf " %s %.2f", list[i], tally[list[i]] / (side == "LIST" ? listRows[c] : floorRows[c])
    printf "\n"
}
END {
    if (ncounts == 0) { print "list_trace: no marks in the trace" > "/dev/stderr"; exit 1 }
    report("LIST", listRows); kinds("LIST")
    print ""
    report("floor", floorRows); kinds("floor")
    printf "(LIST over a full list; the rows: the requests after the list call up to the last close;\n"
    printf " the rest of the command: before the list call and after that close; the click: its events\n"
    printf " sent and taken by the event loop up to the event of LIST; target: at most 8 a row)\n"
}' "$rows" "$log" >"$out"
cat "$out"
