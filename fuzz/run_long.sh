#!/usr/bin/env bash
# A long fuzzing run of one target, for a scheduled session rather than CI.
#
#   fuzz/run_long.sh TARGET MINUTES [WORKERS]
#   fuzz/run_long.sh --merge TARGET
#
# TARGET is one of: reader convert align rate adpcm cmdline klng. The targets are built first
# (bash .ci/fuzz.sh --build-only, folder build-fuzz). New inputs collect in
# build-fuzz/corpus/TARGET, kept between runs; failing inputs are written to
# build-fuzz/artifacts/ and listed at the end. WORKERS > 1 uses libFuzzer's fork mode with that
# many processes (default 1: one process, one core). Ends with libFuzzer's final statistics.
#
# --merge TARGET adds to fuzz/corpus/TARGET only those inputs of build-fuzz/corpus/TARGET that
# reach code (edges) the committed corpus does not, for the lead to commit.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
    sed -n '4,5p' "$0" >&2
    exit 2
}

merge=0
if [[ ${1:-} == --merge ]]; then
    merge=1
    shift
fi
target=${1:-}
case $target in
    reader | convert | align | rate | adpcm | cmdline | klng) ;;
    *) usage ;;
esac

bash .ci/fuzz.sh --build-only
[[ -d /dev/shm && -w /dev/shm ]] && export TMPDIR=/dev/shm
fuzzer=build-fuzz/fuzz/${target}_fuzzer
corpus=build-fuzz/corpus/$target
artifacts=build-fuzz/artifacts
mkdir -p "$corpus" "$artifacts"
limits=(-malloc_limit_mb=512 -rss_limit_mb=2048 -timeout=10)

if ((merge)); then
    before=$(find "fuzz/corpus/$target" -type f | wc -l)
    # Edges only (no hit counts): the committed corpus stays small, the full one stays here.
    "$fuzzer" "${limits[@]}" -use_counters=0 -merge=1 "fuzz/corpus/$target" "$corpus" 2>&1 |
        grep -E 'MERGE-OUTER' || true
    after=$(find "fuzz/corpus/$target" -type f | wc -l)
    echo "run_long: fuzz/corpus/$target: $before -> $after files"
    exit 0
fi

minutes=${2:-}
[[ $minutes =~ ^[0-9]+$ ]] || usage
workers=${3:-1}
args=("${limits[@]}" -max_total_time=$((minutes * 60)) -print_final_stats=1
      -artifact_prefix="$artifacts/$target-")
case $target in
    reader | convert) args+=(-dict=fuzz/wave.dict) ;;
    cmdline) args+=(-dict=fuzz/cmdline.dict) ;;
esac
((workers > 1)) && args+=(-fork="$workers")

log=build-fuzz/run_long-$target.log
echo "run_long: $target for $minutes min, $workers worker(s); log $log"
status=0
"$fuzzer" "${args[@]}" "$corpus" "fuzz/corpus/$target" >"$log" 2>&1 || status=$?

grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::|ERROR: (libFuzzer|AddressSanitizer|LeakSanitizer)|runtime error|property broken' \
    "$log" || true
if ((workers > 1)); then
    # Fork mode reports as it goes: its last line holds the totals (executions, coverage,
    # corpus, oom/timeout/crash counts, seconds).
    last=$(grep -E '^#[0-9]+: cov:' "$log" | tail -n 1 || true)
    echo "$last"
    awk -v line="$last" 'BEGIN {
        n = split(line, f, /[ :#]+/)
        for (i = 1; i <= n; i++) {
            if (f[i] ~ /^[0-9]+$/ && execs == "") execs = f[i]
            if (f[i] == "time") secs = f[i + 1]
        }
        sub(/s$/, "", secs)
        if (execs != "" && secs > 0) printf "run_long: %d executions in %d s: %.0f per second\n", execs, secs, execs / secs
    }'
fi
echo "run_long: corpus $corpus: $(find "$corpus" -type f | wc -l) files"
found=$(find "$artifacts" -name "$target-*" -type f | sort)
if [[ -n $found ]]; then
    echo "run_long: failing inputs (keep each as a regression file in fuzz/corpus/$target):"
    echo "$found"
fi
echo "run_long: exit status $status"
exit "$status"
