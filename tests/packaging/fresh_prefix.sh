# Shared by the packaging checks (sourced): a work folder of its own beside
# BASE, a fresh Wine prefix inside it that is torn down with it, and fail().
# Usage: fresh_work BASE_DIR NAME; then $work and $prefix are set and the prefix
# is made (kelvor_prefix), with a server that stays until the work folder goes.
# Needs $root, the checkout.
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

fresh_work() {
    work=$(mktemp -d "$1/$2.XXXXXX")
    prefix=$work/prefix
    trap 'WINEPREFIX=$prefix wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
    export KELVOR_OUT=$work WINEPREFIX=$prefix
    source "$root/scripts/common.sh"
    kelvor_settings
    kelvor_prefix
    # One server for the whole check: each Wine command then starts at once, rather
    # than starting a server of its own (seconds each, many more on a busy machine).
    wineserver -p
}
