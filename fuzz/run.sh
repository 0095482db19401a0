#!/usr/bin/env bash
# Builds the fuzzers if needed and runs each for SECONDS seconds.
#   fuzz/run.sh SECONDS [NAME...]     NAME: ini, html, ... (default: every fuzz_*.cpp)
# Fails on any crash, sanitizer report, leak, timeout (10 s per input) or memory blow-up
# (2 GB). Inputs the fuzzers find go to a scratch folder (FUZZ_WORK, default
# build-fuzz/fuzz-work/NAME), never into fuzz/corpus; a failing input is saved there as
# crash-*, leak-*, timeout-* or oom-*, to be fixed in the code and then added to the corpus.
# FUZZ_PARALLEL=N runs N fuzzers at once (default 1).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:?usage: fuzz/run.sh SECONDS [NAME...]}
shift
BUILD=${FUZZ_BUILD_DIR:-build-fuzz}
WORK=${FUZZ_WORK:-$BUILD/fuzz-work}
PARALLEL=${FUZZ_PARALLEL:-1}
JOBS=${TRAWLEX_JOBS:-$(nproc)}

if [ $# -gt 0 ]; then
    names=("$@")
else
    names=()
    for f in fuzz/fuzz_*.cpp; do
        n=${f#fuzz/fuzz_}
        names+=("${n%.cpp}")
    done
fi

if [ ! -f "$BUILD/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE= \
        -DTRAWLEX_GUI=OFF -DTRAWLEX_BENCH=OFF -DTRAWLEX_FUZZ=ON
fi
targets=()
for n in "${names[@]}"; do targets+=("fuzz_$n"); done
cmake --build "$BUILD" -j "$JOBS" --target "${targets[@]}"

# Which dictionary a fuzzer's format uses.
dict_of() {
    case "$1" in
        ini | lingo) echo fuzz/dict/ini.dict ;;
        *) [ -f "fuzz/dict/$1.dict" ] && echo "fuzz/dict/$1.dict" ;;
    esac
}

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}

run_one() {
    local n=$1 dir="$WORK/$1" dict
    mkdir -p "$dir/corpus" "$dir/artifacts"
    local args=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
                -artifact_prefix="$dir/artifacts/")
    dict=$(dict_of "$n" || true)
    [ -n "$dict" ] && args+=(-dict="$dict")
    # The first folder receives new inputs; the repository's seeds are only read.
    if "$BUILD/fuzz/fuzz_$n" "${args[@]}" "$dir/corpus" "fuzz/corpus/$n" >"$dir/log" 2>&1; then
        local execs cov
        execs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$dir/log" | grep -o '[0-9]*$' || echo '?')
        cov=$(grep -o 'cov: [0-9]*' "$dir/log" | tail -1 | grep -o '[0-9]*$' || echo '?')
        printf 'fuzz_%-12s ok    %10s executions  cov %s\n' "$n" "$execs" "$cov"
        return 0
    fi
    printf 'fuzz_%-12s FAILED (log: %s)\n' "$n" "$dir/log"
    grep -E 'ERROR|SUMMARY|check failed|runtime error|Test unit written' "$dir/log" | head -20 || true
    return 1
}

failed=0
pids=()
for n in "${names[@]}"; do
    if [ "$PARALLEL" -le 1 ]; then
        run_one "$n" || failed=1
        continue
    fi
    run_one "$n" &
    pids+=($!)
    if [ ${#pids[@]} -ge "$PARALLEL" ]; then
        wait "${pids[0]}" || failed=1
        pids=("${pids[@]:1}")
    fi
done
for p in "${pids[@]}"; do wait "$p" || failed=1; done
exit $failed
