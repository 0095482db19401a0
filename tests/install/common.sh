# Shared by the install checks: failure reporting and one run of the installed batch program.
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# run_batch PREFIX OUTPUT TEMPLATE [args...]: the installed trawlex-batch, from a folder
# that is neither the build nor the prefix, with a home of its own.
run_batch() {
    local prefix=$1 out=$2 template=$3
    shift 3
    (
        cd "$WORK/elsewhere"
        HOME="$WORK/home" XDG_STATE_HOME="$WORK/home/state" XDG_DATA_HOME="$WORK/home/data" \
            XDG_CONFIG_HOME="$WORK/home/config" XDG_CACHE_HOME="$WORK/home/cache" \
            timeout 300 "$prefix/bin/trawlex-batch" "$template" -o "$out" --delay 0 "$@"
    )
}

# Data rows of a CSV file (its header not counted), read by an independent reader.
csv_rows() {
    python3 -c 'import csv, sys; print(sum(1 for _ in csv.reader(open(sys.argv[1], newline="", encoding="utf-8-sig"))) - 1)' "$1"
}

# The demo site holds 120 entries over 6 pages, 8 of them repeated.
DEMO_ROWS=112

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/elsewhere" "$WORK/home"
