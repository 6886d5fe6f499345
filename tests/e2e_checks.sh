# e2e_checks.sh -- what the end-to-end scripts share: counted checks, and waiting for the window
# Sourced by them (bash); each ends with `finish`, whose status is the script's.
failures=0
passes=0
check() {  # check DESCRIPTION CONDITION...
    local what=$1; shift
    if "$@"; then passes=$((passes + 1)); else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
greater() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'; }
# Prints the id of the program's window once it is open, after at most $1 tenths of a second;
# nothing when it did not open.
programWindow() {
    local window=
    for _ in $(seq 1 "$1"); do
        window=$(xdotool search --name '^vortazov$' 2>/dev/null | head -1)
        [ -n "$window" ] && break
        sleep 0.1
    done
    echo "$window"
}
finish() {
    echo "$passes passed, $failures failed"
    [ "$failures" = 0 ]
}
