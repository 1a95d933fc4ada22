#!/bin/sh
# Runs each fuzz target for a while: tools/fuzz.sh FUZZ_BUILD SECONDS NAME:CORPUS...
# Each target starts from the seeds in tests/fuzz/corpus/CORPUS and keeps
# what it finds in FUZZ_BUILD/corpus/CORPUS. A crash fails the run and
# leaves its input in FUZZ_BUILD.
set -eu
build=$1
seconds=$2
shift 2
for entry in "$@"; do
    target=${entry%%:*}
    name=${entry##*:}
    corpus=$build/corpus/$name
    mkdir -p "$corpus"
    cp -n "tests/fuzz/corpus/$name/"* "$corpus/"
    log=$build/$target.log
    echo "fuzzing $target for $seconds s"
    if ! "$build/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$build/" "$corpus" >"$log" 2>&1; then
        tail -40 "$log"
        echo "$target failed; its log: $log" >&2
        exit 1
    fi
    grep -E "^stat::(number_of_executed_units|peak_rss_mb)" "$log" | tr '\n' ' '
    echo
done
