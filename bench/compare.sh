#!/usr/bin/env bash
# Times tonecast beside general audio tools doing the same job on the same machine, on inputs it
# makes itself with sox: a 60 s (and a 600 s) mono 16-bit 48 kHz wave of noise and tones.
#
#  1. IMA-ADPCM encoding without resampling: tonecast -a, sox -e ima-adpcm, ffmpeg adpcm_ima_wav,
#     and cp of the same input as the floor that any program reading and writing it pays.
#  2. The same wave with a loop from sample 1000 to its end, 2,879,003 samples (60 s) long: not a
#     whole number of 8-sample words, so tonecast resamples the whole wave by 2879008/2879003.
#     Beside its whole conversion stand two resamplers doing the resampling alone, by the same
#     ratio: sox rate -v and libsamplerate's best converter (sndfile-resample -c 0).
#
# The runs alternate (one of each job per round, the order rotated every round); every job is
# reported with its median wall time, min-max and peak resident memory, and the script ends with
# the ratios tonecast / peer against their targets. It is a benchmark, not a test: it fails only
# when a tool is missing or a command fails, never on a timing.
#
# Usage: bench/compare.sh [--reps N] [--quick] [--tonecast PATH] [--dir DIR] [--keep]
set -eu
export LC_ALL=C

ROOT=$(cd "$(dirname "$0")/.." && pwd)
REPS=5
QUICK=0
KEEP=0
TONECAST=""
PARENT=""

usage() {
    cat <<EOF
Usage: bench/compare.sh [options]
  -n, --reps N      timed runs of every job (default 5)
  -q, --quick       only the 60 s case (skip the 600 s one)
  --tonecast PATH   the tonecast program to time (default: build it in Release into
                    build-bench/ when that has none yet)
  --dir DIR         where the temporary folder goes (default /dev/shm, else \$TMPDIR or /tmp)
  --keep            keep the temporary folder with inputs and outputs
  -h, --help        this text
EOF
}

while [ $# -gt 0 ]; do
    case $1 in
        -n | --reps)
            [ $# -ge 2 ] || { echo "compare.sh: $1 needs a number" >&2; exit 2; }
            REPS=$2
            shift 2
            ;;
        -q | --quick) QUICK=1; shift ;;
        --tonecast)
            [ $# -ge 2 ] || { echo "compare.sh: $1 needs a path" >&2; exit 2; }
            TONECAST=$2
            shift 2
            ;;
        --dir)
            [ $# -ge 2 ] || { echo "compare.sh: $1 needs a folder" >&2; exit 2; }
            PARENT=$2
            shift 2
            ;;
        --keep) KEEP=1; shift ;;
        -h | --help) usage; exit 0 ;;
        *) echo "compare.sh: unknown option $1" >&2; usage >&2; exit 2 ;;
    esac
done
case $REPS in
    '' | *[!0-9]* | 0) echo "compare.sh: --reps wants a whole number of at least 1" >&2; exit 2 ;;
esac

# ---- tools, all checked before anything runs ----------------------------------------------------
if [ "${BASH_VERSINFO[0]}" -lt 5 ]; then
    echo "compare.sh: needs bash 5 or later (for \$EPOCHREALTIME)" >&2
    exit 2
fi
missing=""
need() {  # need COMMAND DEBIAN-PACKAGE
    command -v "$1" >/dev/null 2>&1 || missing="$missing $1 (package $2)"
}
need sox sox
need soxi sox
need ffmpeg ffmpeg
need sndfile-resample samplerate-programs
need python3 python3
need awk gawk
need cmake cmake
if ! /usr/bin/time -f %M -o /dev/null true >/dev/null 2>&1; then
    missing="$missing /usr/bin/time (package time: GNU time, for peak memory)"
fi
if [ -n "$missing" ]; then
    echo "compare.sh: missing tools:$missing" >&2
    echo "  on Debian: apt-get install sox ffmpeg samplerate-programs time python3 gawk cmake" >&2
    exit 2
fi

if [ -z "$TONECAST" ]; then
    TONECAST=$ROOT/build-bench/src/tonecast/tonecast
    if [ ! -x "$TONECAST" ]; then
        echo "Building tonecast in Release into build-bench/ ..."
        generator=()
        command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
        cmake -S "$ROOT" -B "$ROOT/build-bench" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release \
            -DTONECAST_TESTS=OFF -DTONECAST_BENCH=ON >/dev/null
        cmake --build "$ROOT/build-bench" --target tonecast >/dev/null
    fi
fi
if [ ! -x "$TONECAST" ]; then
    echo "compare.sh: no tonecast program at $TONECAST" >&2
    exit 2
fi

if [ -z "$PARENT" ]; then
    if [ -d /dev/shm ] && [ -w /dev/shm ]; then PARENT=/dev/shm; else PARENT=${TMPDIR:-/tmp}; fi
fi
WORK=$(mktemp -d "$PARENT/tonecast-compare.XXXXXX")
cleanup() {
    if [ "$KEEP" = 1 ]; then echo "kept $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT

# ---- inputs ------------------------------------------------------------------------------------
RATE=48000
LOOP_START=1000  # IMA-ADPCM refuses a loop start past 524,272 samples
ALIGN=8          # samples per 32-bit word of IMA-ADPCM

# Appends a "smpl" chunk with one forward loop [start, last frame] to a 16-bit mono WAV.
add_loop() {  # add_loop IN OUT START
    python3 - "$@" <<'EOF'
import struct, sys
src, dst, start = sys.argv[1], sys.argv[2], int(sys.argv[3])
b = bytearray(open(src, "rb").read())
assert b[:4] == b"RIFF" and b[8:12] == b"WAVE", "not a WAV file"
pos, frames, rate = 12, None, None
while pos + 8 <= len(b):
    cid, size = bytes(b[pos:pos + 4]), struct.unpack_from("<I", b, pos + 4)[0]
    if cid == b"fmt ":
        rate = struct.unpack_from("<I", b, pos + 12)[0]
        block_align = struct.unpack_from("<H", b, pos + 20)[0]
    elif cid == b"data":
        frames = size // block_align
    pos += 8 + size + (size & 1)
assert frames and rate, "no fmt or data chunk"
# Manufacturer, product, sample period in ns, unity note, pitch fraction, SMPTE format and
# offset, loop count, sampler data; then the loop: cue id, type 0 (forward), first sample,
# last sample (inclusive), fraction, play count 0 (for ever).
smpl = struct.pack("<9I", 0, 0, round(1e9 / rate), 60, 0, 0, 0, 1, 0)
smpl += struct.pack("<6I", 0, 0, start, frames - 1, 0, 0)
b += b"smpl" + struct.pack("<I", len(smpl)) + smpl
struct.pack_into("<I", b, 4, len(b) - 8)
open(dst, "wb").write(b)
EOF
}

make_inputs() {  # make_inputs SECONDS
    local frames=$(($1 * RATE + 3))
    # Noise with two tones on it, 3 dB below full scale; -R makes it the same every run.
    sox -R -n -r $RATE -b 16 -c 1 "$WORK/plain_$1.wav" synth "${frames}s" whitenoise \
        synth sine mix 440 synth sine mix 1234.5 gain -n -3
    add_loop "$WORK/plain_$1.wav" "$WORK/loop_$1.wav" $LOOP_START
}

# ---- timing ------------------------------------------------------------------------------------
# Runs one command under GNU time (for its peak memory) and records "wall-microseconds kilobytes
# cpu-seconds" in $WORK/res.KEY. The wall time is taken around the whole, so every job pays the
# same start of bash's child and of /usr/bin/time (measured as the job "launch": `true` timed the
# same way; several milliseconds on a virtual machine); the CPU time (user + system, all threads)
# comes from bash's own timing of its children, to the millisecond.
TIMEFORMAT='%3U %3S'
timed() {  # timed KEY COMMAND...
    local key=$1 t0 t1
    shift
    t0=$EPOCHREALTIME
    if ! { time /usr/bin/time -f %M -o "$WORK/mem" "$@" >/dev/null 2>"$WORK/err"; } 2>"$WORK/cpu"
    then
        echo "compare.sh: failed: $*" >&2
        cat "$WORK/err" >&2
        exit 1
    fi
    t1=$EPOCHREALTIME
    echo "$((${t1/./} - ${t0/./})) $(tail -n 1 "$WORK/mem") $(awk '{ print $1 + $2 }' "$WORK/cpu")" \
        >>"$WORK/res.$key"
}

# The job named NAME for size S; its command reads $WORK/*_S.wav and writes $WORK/out_*.
run_job() {  # run_job NAME S
    local s=$2 in_plain="$WORK/plain_$2.wav" in_loop="$WORK/loop_$2.wav"
    case $1 in
        tonecast) timed "$s.tonecast" "$TONECAST" -a -o "$WORK/out_tonecast.klng" "$in_plain" ;;
        sox_ima) timed "$s.sox_ima" sox "$in_plain" -e ima-adpcm "$WORK/out_sox_ima.wav" ;;
        ffmpeg_ima)
            timed "$s.ffmpeg_ima" ffmpeg -nostdin -hide_banner -loglevel error -y -i "$in_plain" \
                -c:a adpcm_ima_wav "$WORK/out_ffmpeg_ima.wav"
            ;;
        cp) timed "$s.cp" cp "$in_plain" "$WORK/out_cp.wav" ;;
        launch) timed "$s.launch" true ;;
        tonecast_loop)
            timed "$s.tonecast_loop" "$TONECAST" -a -o "$WORK/out_tonecast_loop.klng" "$in_loop"
            ;;
        sox_rate) timed "$s.sox_rate" sox "$in_plain" -r "$OUT_RATE" "$WORK/out_sox_rate.wav" rate -v ;;
        lsr_best)
            # --no-normalize: one pass only (it would convert again after a clip; none occurs
            # here at -3 dB, and this keeps its time to the resampling itself).
            timed "$s.lsr_best" sndfile-resample -by "$RATIO" -c 0 --no-normalize "$in_plain" \
                "$WORK/out_lsr_best.wav"
            ;;
    esac
}

JOBS=(tonecast sox_ima ffmpeg_ima cp tonecast_loop sox_rate lsr_best launch)

label() {
    case $1 in
        tonecast) echo "tonecast -a" ;;
        sox_ima) echo "sox -e ima-adpcm" ;;
        ffmpeg_ima) echo "ffmpeg -c:a adpcm_ima_wav" ;;
        cp) echo "cp (I/O floor)" ;;
        tonecast_loop) echo "tonecast -a, whole conversion" ;;
        sox_rate) echo "sox rate -v, resampling alone" ;;
        lsr_best) echo "sndfile-resample -c 0, alone" ;;
        launch) echo "true (starting a program)" ;;
    esac
}

# "median min max peak cpu" of a result file: wall times in ms, peak memory in MB, the median
# CPU time in ms.
stats() {  # stats KEY
    awk '
        { t[NR] = $1 / 1000; c[NR] = $3 * 1000; if ($2 > m) m = $2 }
        function median(a, n,   i, j, x) {
            for (i = 2; i <= n; i++) {  # insertion sort: a handful of values
                x = a[i]
                for (j = i - 1; j >= 1 && a[j] > x; j--) a[j + 1] = a[j]
                a[j + 1] = x
            }
            return (n % 2) ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
        }
        END {
            med = median(t, NR)
            printf "%.1f %.1f %.1f %.1f %.1f\n", med, t[1], t[NR], m / 1024, median(c, NR)
        }' "$WORK/res.$1"
}

print_row() {  # print_row KEY JOB
    local med min max mem cpu
    read -r med min max mem cpu < <(stats "$1")
    printf "  %-32s %9.1f ms  %9.1f - %-9.1f %9.1f ms %8.1f MB\n" "$(label "$2")" "$med" "$min" \
        "$max" "$cpu" "$mem"
}

check() {  # check WHAT GOT WANT
    [ "$2" = "$3" ] || echo "   WARNING: $1 gave $2, expected $3"
}
med() { stats "$1" | cut -d ' ' -f 1; }
mem() { stats "$1" | cut -d ' ' -f 4; }
cpu() { stats "$1" | cut -d ' ' -f 5; }

RATIOS=""
# Appends one ratio line: tonecast's figure over the peer's, with the target it should meet, and
# for times the same ratio of CPU times, which a busy machine disturbs less (tonecast resamples
# on every core, so on a quiet one its wall time is the shorter).
ratio() {  # ratio TEXT TONECAST PEER TARGET [TONECAST-CPU PEER-CPU]
    RATIOS="$RATIOS$(awk -v text="$1" -v a="$2" -v b="$3" -v target="$4" -v ca="${5:-}" \
        -v cb="${6:-}" 'BEGIN {
        r = a / b
        printf "%-50s %7.3f  (target <= %s)  %-6s", text, r, target, (r <= target) ? "met" : "MISSED"
        if (ca != "" && cb > 0) printf "  cpu %.3f", ca / cb
        printf "\n"
    }')
"
}
# A time ratio of two jobs, with their CPU times.
time_ratio() {  # time_ratio TEXT TONECAST-KEY PEER-KEY TARGET
    ratio "$1" "$(med "$2")" "$(med "$3")" "$4" "$(cpu "$2")" "$(cpu "$3")"
}

# ---- the run -----------------------------------------------------------------------------------
SIZES="60"
[ "$QUICK" = 1 ] || SIZES="60 600"

cpu=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo 2>/dev/null || true)
load=$(cut -d ' ' -f 1 /proc/loadavg 2>/dev/null || echo "?")
echo "tonecast compare: $REPS timed runs of every job, alternating; wall time and peak memory"
echo "machine: ${cpu:-unknown processor}, $(nproc) cores; load average at start $load"
echo "tonecast: $TONECAST"
echo "sox: $(sox --version 2>&1 | sed 's/.*SoX //'), $(ffmpeg -version | head -n 1 | cut -d ' ' -f 1-3)," \
    "$(sndfile-resample 2>&1 | awk '/libsamplerate-/ { print $1; exit }')"
echo "inputs in $WORK"
if awk -v l="$load" 'BEGIN { exit !(l >= 0.5) }'; then
    echo "NOTE: the machine is busy (load $load >= 0.5): the figures are noisy; re-run on a quiet one."
fi

for s in $SIZES; do
    frames=$((s * RATE + 3))
    make_inputs "$s"
    # What the alignment does to the loop: the next whole number of words, and the whole wave
    # stretched with it (floor of frames * newlooplen / looplen).
    looplen=$((frames - LOOP_START))
    r=$((looplen % ALIGN))
    newlooplen=$((looplen + ALIGN - r))
    newlength=$((frames + frames * (ALIGN - r) / looplen))
    RATIO=$(awk -v a=$newlooplen -v b=$looplen 'BEGIN { printf "%.12f", a / b }')
    # sox takes a fractional rate: rounded to a whole number it would be 48000 and sox would not
    # resample at all. Either way the output has newlength samples.
    OUT_RATE=$(awk -v a=$newlooplen -v b=$looplen -v r=$RATE 'BEGIN { printf "%.6f", r * a / b }')

    printf "\n== %d s: %d samples, mono 16-bit %d Hz ==\n" "$s" "$frames" "$RATE"
    printf "   loop %d..%d (%d samples) made %d: resampling by %d/%d = %s to %d samples\n" \
        $LOOP_START $((frames - 1)) $looplen $newlooplen $newlooplen $looplen "$RATIO" $newlength

    # One untimed round first: files cached, libraries loaded, outputs checked below.
    [ "$s" = 60 ] && for job in "${JOBS[@]}"; do run_job "$job" "$s"; done
    rm -f "$WORK"/res.*

    njobs=${#JOBS[@]}
    for ((rep = 0; rep < REPS; rep++)); do
        # The order turns by one job each round, so no job always runs right after another.
        for ((j = 0; j < njobs; j++)); do
            run_job "${JOBS[(rep + j) % njobs]}" "$s"
        done
    done

    # The outputs are the job that was asked for: sizes and sample counts where a tool tells them.
    want_plain=$(((frames + ALIGN - 1) / ALIGN * ALIGN))
    check "tonecast -a (bytes)" "$(wc -c <"$WORK/out_tonecast.klng")" $((40 + want_plain / 2))
    check "tonecast -a with loop (bytes)" "$(wc -c <"$WORK/out_tonecast_loop.klng")" \
        $((40 + newlength / 2))
    check "sox rate -v (samples)" "$(soxi -s "$WORK/out_sox_rate.wav")" $newlength
    check "sndfile-resample (samples)" "$(soxi -s "$WORK/out_lsr_best.wav")" $newlength

    printf "  %-32s %12s  %-21s %12s %11s\n" "job" "wall median" "   min - max (ms)" "cpu median" \
        "peak mem"
    echo "  -- IMA-ADPCM, no resampling"
    for job in tonecast sox_ima ffmpeg_ima cp; do print_row "$s.$job" $job; done
    echo "  -- loop forces resampling of the whole wave"
    for job in tonecast_loop sox_rate lsr_best; do print_row "$s.$job" $job; done
    echo "  -- what starting a program under the timer costs, within every time above"
    print_row "$s.launch" launch

    wave_mb=$(awk -v n=$frames 'BEGIN { print 2 * n / 1048576 }')
    both_mb=$(awk -v n=$frames -v m=$newlength 'BEGIN { print 2 * (n + m) / 1048576 }')
    time_ratio "$s s time: tonecast -a / sox -e ima-adpcm" "$s.tonecast" "$s.sox_ima" 0.1
    time_ratio "$s s time: tonecast -a / ffmpeg adpcm_ima_wav" "$s.tonecast" "$s.ffmpeg_ima" 0.25
    time_ratio "$s s time: tonecast -a / cp" "$s.tonecast" "$s.cp" 8
    time_ratio "$s s time: tonecast loop / sox rate -v" "$s.tonecast_loop" "$s.sox_rate" 0.6
    time_ratio "$s s time: tonecast loop / libsamplerate best" "$s.tonecast_loop" "$s.lsr_best" 0.1
    # Memory: the peer's peak plus the wave itself (2 bytes a sample), and while resampling one
    # more copy (the source beside the output).
    ratio "$s s memory: tonecast -a / (sox ima + wave)" "$(mem "$s.tonecast")" \
        "$(awk -v a="$(mem "$s.sox_ima")" -v w="$wave_mb" 'BEGIN { print a + w }')" 1
    ratio "$s s memory: tonecast -a / (ffmpeg ima + wave)" "$(mem "$s.tonecast")" \
        "$(awk -v a="$(mem "$s.ffmpeg_ima")" -v w="$wave_mb" 'BEGIN { print a + w }')" 1
    ratio "$s s memory: tonecast loop / (sox rate + 2 waves)" "$(mem "$s.tonecast_loop")" \
        "$(awk -v a="$(mem "$s.sox_rate")" -v w="$both_mb" 'BEGIN { print a + w }')" 1
    rm -f "$WORK"/plain_"$s".wav "$WORK"/loop_"$s".wav "$WORK"/out_*
done

load=$(cut -d ' ' -f 1 /proc/loadavg 2>/dev/null || echo "?")
printf "\n== ratios, tonecast / peer (median times, peak memory); load average at end %s ==\n" "$load"
printf "%s" "$RATIOS"
