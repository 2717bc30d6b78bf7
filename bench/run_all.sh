#!/usr/bin/env bash
# Builds tonecast's benchmark programs in Release and runs every one of them: each
# bench/NAME_bench.cpp is the program NAME_bench, and each reports items (samples) per second.
#
# Usage: bench/run_all.sh [--build-dir DIR] [--compare [--quick]] [-- BENCHMARK-OPTIONS...]
#   --build-dir DIR  the Release build folder (default build-bench)
#   --compare        then run bench/compare.sh, tonecast beside sox, ffmpeg and libsamplerate
#   --quick          with --compare: its 60 s case only
#   -- OPTIONS...    options for every benchmark program, e.g. --benchmark_filter=Adpcm or
#                    --benchmark_format=json
set -eu
export LC_ALL=C

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$ROOT/build-bench
COMPARE=0
QUICK=0
while [ $# -gt 0 ]; do
    case $1 in
        --build-dir)
            [ $# -ge 2 ] || { echo "run_all.sh: $1 needs a folder" >&2; exit 2; }
            BUILD=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
            shift 2
            ;;
        --compare) COMPARE=1; shift ;;
        --quick) QUICK=1; shift ;;
        --) shift; break ;;
        -h | --help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        *) echo "run_all.sh: unknown option $1 (benchmark options go after --)" >&2; exit 2 ;;
    esac
done

for tool in cmake c++; do
    command -v "$tool" >/dev/null 2>&1 || { echo "run_all.sh: $tool is missing" >&2; exit 2; }
done

programs=()
for source in "$ROOT"/bench/*_bench.cpp; do
    programs+=("$(basename "$source" .cpp)")
done

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
echo "== building ${programs[*]} in Release into $BUILD"
# Google Benchmark comes from the system (libbenchmark-dev); configuring says so if it is absent.
cmake -S "$ROOT" -B "$BUILD" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release -DTONECAST_BENCH=ON \
    -DTONECAST_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target tonecast "${programs[@]}"

load=$(cut -d ' ' -f 1 /proc/loadavg 2>/dev/null || echo "?")
echo "load average $load on $(nproc) cores"
if awk -v l="$load" 'BEGIN { exit !(l >= 0.5) }'; then
    echo "NOTE: the machine is busy: the figures are noisy; re-run on a quiet one."
fi

for program in "${programs[@]}"; do
    echo
    echo "== $program"
    "$BUILD/bench/$program" "$@"
done

if [ "$COMPARE" = 1 ]; then
    echo
    compare=("$ROOT/bench/compare.sh" --tonecast "$BUILD/src/tonecast/tonecast")
    [ "$QUICK" = 1 ] && compare+=(--quick)
    "${compare[@]}"
fi
