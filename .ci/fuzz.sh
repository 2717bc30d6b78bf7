#!/usr/bin/env bash
# The fuzz leg of continuous integration.
#
#   bash .ci/fuzz.sh              build the libFuzzer targets (clang, AddressSanitizer +
#                                 UndefinedBehaviorSanitizer, asserts on), replay the committed
#                                 corpus through every target, then fuzz each target briefly.
#                                 Fails on any crash, broken property, leak, timeout or OOM.
#   bash .ci/fuzz.sh --build-only only the build (used by fuzz/run_long.sh)
#   bash .ci/fuzz.sh --integer [DIR...]
#                                 report-only: the corpus (and DIR/TARGET for each DIR given,
#                                 e.g. build-fuzz/corpus from fuzz/run_long.sh) replayed through
#                                 programs built with clang's -fsanitize=integer, which also
#                                 reports unsigned wrap-around and implicit truncations, things
#                                 that are often intended; prints each distinct report and
#                                 never fails.
#
# FUZZ_TIME_SCALE (default 1) multiplies the fuzzing times: 60 s for the reader and the
# conversion, 30 s for the rest. 0 replays the corpus only.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
start=$SECONDS

targets=(reader convert align rate adpcm cmdline klng)
declare -A seconds=([reader]=60 [convert]=60 [align]=30 [rate]=30 [adpcm]=30 [cmdline]=30 [klng]=30)
declare -A dict=([reader]=fuzz/wave.dict [convert]=fuzz/wave.dict [cmdline]=fuzz/cmdline.dict)
# An allocation sized by a header claim, or memory that grows without bound, is a finding.
limits=(-malloc_limit_mb=512 -rss_limit_mb=2048 -timeout=10)

log() { printf '\n=== fuzz: %s (%ss)\n' "$*" "$((SECONDS - start))"; }
fail() {
    printf 'fuzz: FAILED: %s\n' "$*" >&2
    exit 1
}

mode=${1:-}

# --- Tools ------------------------------------------------------------------------------------
packages=(clang libclang-rt-14-dev cmake ninja-build)
[[ $mode == --integer ]] && packages+=(googletest libgtest-dev)
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
    log "installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The targets write every input to a file; memory-backed files are an order of magnitude faster.
if [[ -d /dev/shm && -w /dev/shm ]]; then
    export TMPDIR=/dev/shm
fi

# --- Report-only integer run ------------------------------------------------------------------
if [[ $mode == --integer ]]; then
    shift
    build=build-fuzz-integer
    log "building the replay programs with -fsanitize=integer ($build)"
    # No TONECAST_SANITIZE: its -fno-sanitize-recover=all would make every report fatal.
    CXX=clang++ cmake -B "$build" -G Ninja -DTONECAST_TESTS=ON -DTONECAST_BENCH=OFF \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g" \
        "-DCMAKE_CXX_FLAGS=-fsanitize=integer -fsanitize-recover=integer -fno-omit-frame-pointer" \
        >"/tmp/tonecast-fuzz-integer-configure.log" 2>&1 ||
        { cat /tmp/tonecast-fuzz-integer-configure.log; fail configure; }
    cmake --build "$build" --target "${targets[@]/%/_replay}" >/tmp/tonecast-fuzz-integer-build.log 2>&1 ||
        { cat /tmp/tonecast-fuzz-integer-build.log; fail build; }
    reports=$(mktemp)
    for t in "${targets[@]}"; do
        extra=()
        for d in "$@"; do
            if [[ -d $d/$t ]]; then extra+=("$d/$t"); fi
        done
        UBSAN_OPTIONS=print_stacktrace=0:halt_on_error=0 \
            "$build/fuzz/${t}_replay" "fuzz/corpus/$t" "${extra[@]}" 2>&1 |
            grep 'runtime error:' | grep -v '^/usr/' | sed "s|$root/||; s|^|$t: |" >>"$reports" ||
            true  # reports from the system's headers (libstdc++) are not ours
    done
    log "distinct integer reports (report only; not a failure)"
    if [[ -s $reports ]]; then
        sort "$reports" | uniq -c | sort -rn
    else
        echo "none"
    fi
    rm -f "$reports"
    exit 0
fi

# --- Build --------------------------------------------------------------------------------------
build=build-fuzz
log "building the fuzz targets ($build)"
# -O1 -g without NDEBUG: the library's invariant assertions are armed while fuzzing.
CXX=clang++ cmake -B "$build" -G Ninja -DTONECAST_FUZZ=ON -DTONECAST_SANITIZE=ON \
    -DTONECAST_TESTS=OFF -DTONECAST_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g" >/tmp/tonecast-fuzz-configure.log 2>&1 ||
    { cat /tmp/tonecast-fuzz-configure.log; fail configure; }
cmake --build "$build" --target fuzzers >/tmp/tonecast-fuzz-build.log 2>&1 ||
    { cat /tmp/tonecast-fuzz-build.log; fail build; }
[[ $mode == --build-only ]] && exit 0

work=$(mktemp -d /tmp/tonecast-fuzz.XXXXXX)
trap 'rm -rf "$work"' EXIT

# Shows a failing input in the log, so that it can be recovered from a CI run and committed to
# fuzz/corpus/TARGET as a regression file.
show_artifacts() {
    local f
    for f in "$work"/artifacts/*; do
        [[ -f $f ]] || continue
        echo "--- failing input $(basename "$f") ($(stat -c %s "$f") bytes), base64:"
        head -c 65536 "$f" | base64
    done
}

# --- Replay of the committed corpus --------------------------------------------------------------
log "replaying the committed corpus"
mkdir -p "$work/artifacts"
for t in "${targets[@]}"; do
    files=()
    while IFS= read -r -d '' f; do files+=("$f"); done < <(find "fuzz/corpus/$t" -type f -print0 | sort -z)
    ((${#files[@]})) || fail "fuzz/corpus/$t is empty"
    if ! "$build/fuzz/${t}_fuzzer" "${limits[@]}" -artifact_prefix="$work/artifacts/$t-" \
        "${files[@]}" >"$work/replay-$t.log" 2>&1; then
        tail -n 60 "$work/replay-$t.log"
        show_artifacts
        fail "$t: the committed corpus fails"
    fi
    printf '%-8s %4d inputs replayed\n' "$t" "${#files[@]}"
done

# --- Brief fuzzing ------------------------------------------------------------------------------
# A target passes when its corpus replays and its fuzzing finds nothing.
scale=${FUZZ_TIME_SCALE:-1}
passed=0
failed=0
for t in "${targets[@]}"; do
    time=$((seconds[$t] * scale))
    if ((time == 0)); then
        passed=$((passed + 1))  # replayed above
        continue
    fi
    log "fuzzing $t for ${time}s"
    mkdir -p "$work/corpus/$t"
    args=("${limits[@]}" -max_total_time="$time" -print_final_stats=1
          -artifact_prefix="$work/artifacts/$t-")
    [[ -n ${dict[$t]:-} ]] && args+=(-dict="${dict[$t]}")
    # New inputs go to the first folder; the committed corpus is only read.
    if "$build/fuzz/${t}_fuzzer" "${args[@]}" "$work/corpus/$t" "fuzz/corpus/$t" \
        >"$work/fuzz-$t.log" 2>&1; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        tail -n 80 "$work/fuzz-$t.log"
        show_artifacts
        echo "fuzz: $t FAILED (see above)"
    fi
    grep -E '^#[0-9]+[[:space:]]+DONE|^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' \
        "$work/fuzz-$t.log" || true
done

log "done"
echo "fuzz: $passed passed, $failed failed"
((failed == 0))
