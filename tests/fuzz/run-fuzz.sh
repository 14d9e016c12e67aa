#!/bin/sh
# Runs every fuzz target of a native-fuzz build for the given seconds each,
# from the seed corpora the build wrote, and fails on any finding.
#   tests/fuzz/run-fuzz.sh BUILD_DIR SECONDS
set -u
if [ $# -ne 2 ]; then
    echo "usage: $0 BUILD_DIR SECONDS" >&2
    exit 2
fi
fuzz_dir=$1/tests/fuzz
seconds=$2
status=0
for pair in bmp_decoder_fuzz:bmp png_decoder_fuzz:png jpeg_decoder_fuzz:jpeg; do
    target=${pair%%:*}
    seeds=$fuzz_dir/seeds/${pair#*:}
    if [ ! -x "$fuzz_dir/$target" ] || [ ! -d "$seeds" ]; then
        echo "$target: not built in $1 (configure with --preset native-fuzz)" >&2
        exit 2
    fi
    corpus=$fuzz_dir/corpus/$target
    findings=$fuzz_dir/findings/$target
    log=$fuzz_dir/$target.log
    mkdir -p "$corpus" "$findings"
    # A run-length picture of 64 Mi texels is a legal input of a few bytes:
    # allow the memory its two outputs need under the sanitizers.
    "$fuzz_dir/$target" -max_total_time="$seconds" -max_len=8192 -rss_limit_mb=3072 -timeout=60 \
        -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "$seeds" >"$log" 2>&1
    rc=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    found=$(find "$findings" -type f | wc -l)
    echo "$target: ${runs:-?} executions in ${seconds}s, $found findings, exit $rc"
    if [ "$rc" -ne 0 ] || [ "$found" -ne 0 ]; then
        status=1
        tail -n 40 "$log" >&2
    fi
done
exit $status
