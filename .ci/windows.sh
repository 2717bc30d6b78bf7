#!/usr/bin/env bash
# The Windows leg of continuous integration: cross compiles the project for 64-bit Windows with
# MinGW-w64 (preset "windows", folder build-windows), runs every test program under wine, and
# checks that the Windows tonecast.exe writes the same bytes as the Linux tonecast for the same
# inputs, in all three encodings, looped inputs that need resampling included.
#
#   bash .ci/windows.sh [LINUX_TONECAST]
#
# LINUX_TONECAST defaults to build/src/tonecast/tonecast, which is built when missing.
# Installs the cross compiler and wine when they are absent. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
start=$SECONDS

log() { printf '\n=== windows: %s (%ss)\n' "$*" "$((SECONDS - start))"; }
fail() {
    printf 'windows: FAILED: %s\n' "$*" >&2
    exit 1
}

# --- Tools ------------------------------------------------------------------------------------
packages=(g++-mingw-w64-x86-64-posix wine wine64 googletest cmake ninja-build sox python3)
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

# --- wine ---------------------------------------------------------------------------------------
# A private prefix, no debug channels, no display, and no offer to install Mono or Gecko.
WINEPREFIX=$(mktemp -d /tmp/tonecast-wine.XXXXXX)
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
work=$(mktemp -d /tmp/tonecast-windows.XXXXXX)
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX" "$work"
}
trap cleanup EXIT

# A persistent wineserver and one detached warm-up run set up the prefix while the build runs;
# otherwise every program started under wine waits seconds for wine's helper processes.
log "starting wine (prefix $WINEPREFIX)"
wineserver -p
wine cmd /c exit </dev/null >/dev/null 2>&1 &
warmup=$!

# --- Build --------------------------------------------------------------------------------------
log "cross compiling (preset windows)"
cmake --preset windows >"$work/configure.log" 2>&1 || { cat "$work/configure.log"; fail configure; }
cmake --build --preset windows >"$work/build.log" 2>&1 || { cat "$work/build.log"; fail build; }
exe=build-windows/src/tonecast/tonecast.exe
for dll in $(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name:/ {print $3}'); do
    # Only system DLLs: anything else would be missing on a user's machine.
    case "${dll,,}" in
        kernel32.dll | msvcrt.dll | user32.dll | advapi32.dll) ;;
        *) fail "$exe needs $dll" ;;
    esac
done
wait "$warmup" || true

# --- Test programs ------------------------------------------------------------------------------
log "test programs under wine"
passed=0
failed=0
skipped=0
for test_exe in build-windows/tests/*/*_test.exe; do
    name=$(basename "$test_exe" .exe)
    status=FAILED
    for attempt in 1 2; do
        if wine "$test_exe" </dev/null >"$work/$name.log" 2>&1; then
            status=ok
            break
        fi
        # A program that printed nothing at all never started: wine may still be setting up
        # its prefix on the first run. Anything that printed a line counts as its own result.
        [[ ! -s $work/$name.log ]] || break
        sleep 2
    done
    # GoogleTest's own counts ("[  PASSED  ] 52 tests.", "[  SKIPPED ] 2 tests, ...").
    p=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' "$work/$name.log" | tail -n 1)
    s=$(sed -n 's/^\[  SKIPPED \] \([0-9]*\) tests\?, listed below:.*/\1/p' "$work/$name.log" | tail -n 1)
    f=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) tests\?, listed below:.*/\1/p' "$work/$name.log" | tail -n 1)
    passed=$((passed + ${p:-0}))
    skipped=$((skipped + ${s:-0}))
    failed=$((failed + ${f:-0}))
    printf '%-16s %s: %s passed, %s failed, %s skipped\n' "$name" "$status" "${p:-0}" "${f:-0}" "${s:-0}"
    if [[ $status != ok ]]; then
        cat "$work/$name.log"
        [[ -n $f ]] || failed=$((failed + 1))  # ended without GoogleTest's summary
    fi
done
((passed > 0)) || fail "no test ran"

# The rest of ctest's tests (the fuzz corpus replays), each program started under wine by ctest
# itself (the toolchain file names wine as the emulator).
others=$(ctest --test-dir build-windows -N -R '^fuzz\.' | sed -n 's/^Total Tests: //p')
if ((${others:-0} > 0)); then
    if ctest --test-dir build-windows -R '^fuzz\.' --output-on-failure >"$work/ctest.log" 2>&1; then
        printf '%-16s ok: %s passed\n' "fuzz replays" "$others"
        passed=$((passed + others))
    else
        cat "$work/ctest.log"
        failed=$((failed + 1))
    fi
fi

# --- The same bytes as the Linux build ------------------------------------------------------------
linux=${1:-build/src/tonecast/tonecast}
if [[ ! -x $linux ]]; then
    log "building the Linux tonecast"
    cmake --preset default >"$work/linux-configure.log" 2>&1 ||
        { cat "$work/linux-configure.log"; fail "Linux configure"; }
    cmake --build --preset default --target tonecast >"$work/linux-build.log" 2>&1 ||
        { cat "$work/linux-build.log"; fail "Linux build"; }
    linux=build/src/tonecast/tonecast
fi
linux=$(realpath "$linux")

log "inputs for the byte comparison"
inputs=$work/inputs
mkdir -p "$inputs"
cp examples/chime.wav tests/data/job/*.wav tests/data/job/*.aiff "$inputs/"
# Signals from sox, loops added below: the converter resamples every loop whose length is not
# a whole number of words, the long one over more than 200000 frames.
sox -R -D -n -r 44100 -b 16 -c 1 -e signed-integer "$inputs/sweep.wav" \
    synth 6 sine 110:1760 synth 6 sine amod 5 vol 0.7
sox -R -D -n -r 48000 -b 16 -c 1 -e signed-integer "$inputs/pluck.wav" synth 0.5 pluck A3 vol 0.9
sox -R -D -n -r 11025 -b 8 -c 1 -e unsigned-integer "$inputs/low8.wav" synth 1 square 220 vol 0.5
sox -R -D -n -r 32000 -b 16 -c 1 -e signed-integer "$inputs/bell.aiff" \
    synth 1.5 sine 660 fade 0 1.5 1.2
sox -R -D -n -r 44100 -b 24 -c 1 -e signed-integer -t wavpcm "$inputs/deep24.wav" \
    synth 0.3 sine 440
python3 - "$inputs" <<'EOF'
# Adds loops: a WAV "smpl" chunk (loop end stored inclusive), or AIFF MARK and INST chunks
# (markers between frames, sustain loop mode 1).
import struct, sys
d = sys.argv[1]

def wav_loop(name, start, end):
    b = bytearray(open(f"{d}/{name}", "rb").read())
    smpl = struct.pack("<9I", 0, 0, 0, 60, 0, 0, 0, 1, 0) + struct.pack("<6I", 0, 0, start, end - 1, 0, 0)
    b += b"smpl" + struct.pack("<I", len(smpl)) + smpl
    b[4:8] = struct.pack("<I", len(b) - 8)
    open(f"{d}/{name}", "wb").write(b)

def aiff_loop(name, start, end):
    b = bytearray(open(f"{d}/{name}", "rb").read())
    mark = struct.pack(">H", 2) + struct.pack(">hIB5s", 1, start, 5, b"begin") + \
        struct.pack(">hIB3s", 2, end, 3, b"end")
    inst = struct.pack(">6bh3h3h", 60, 0, 0, 127, 1, 127, 0, 1, 1, 2, 0, 0, 0)
    b += b"MARK" + struct.pack(">I", len(mark)) + mark + b"INST" + struct.pack(">I", len(inst)) + inst
    b[4:8] = struct.pack(">I", len(b) - 8)
    open(f"{d}/{name}", "wb").write(b)

wav_loop("sweep.wav", 20011, 20011 + 230037)  # 6 s: a long loop, starting off a word
wav_loop("pluck.wav", 1001, 1001 + 333)
wav_loop("low8.wav", 100, 11025)              # the loop runs to the end
aiff_loop("bell.aiff", 5000, 5000 + 19999)
EOF

log "comparing Linux and Windows output"
compared=0
for input in "$inputs"/*; do
    file=$(basename "$input")
    for option in -a -s -c; do
        for sys in linux windows; do
            dir=$work/$sys
            rm -rf "$dir" && mkdir -p "$dir" && cp "$input" "$dir/"
            status=0
            if [[ $sys == linux ]]; then
                (cd "$dir" && "$linux" "$option" "$file" >out.txt 2>err.txt) || status=$?
            else
                (cd "$dir" && wine "$root/$exe" "$option" "$file" >out.txt 2>err.txt </dev/null) ||
                    status=$?
                sed -i 's/\r$//' "$dir/out.txt" "$dir/err.txt"  # the Windows program writes CR LF
            fi
            echo "$status" >"$dir/status.txt"
        done
        # Status, messages and every file written must agree.
        if ! diff -r "$work/linux" "$work/windows" >"$work/diff.txt"; then
            cat "$work/diff.txt"
            fail "tonecast $option $file differs between Linux and Windows"
        fi
        ls "$work/linux"/*.klng >/dev/null 2>&1 || [[ $(cat "$work/linux/status.txt") != 0 ]] ||
            fail "tonecast $option $file wrote nothing"
        printf '%-12s %s  %s  %s\n' "$file" "$option" "exit $(cat "$work/linux/status.txt")" \
            "$(cd "$work/linux" && md5sum -- *.klng 2>/dev/null | cut -c1-12)"
        compared=$((compared + 1))
    done
done

log "done: $compared conversions identical on Linux and Windows"
echo "windows: $passed passed, $failed failed, $skipped skipped"
((failed == 0)) || exit 1
