#!/usr/bin/env bash
# bench.sh [runs]
# Prints Vorquin's performance figures:
#  - a copy run of Vorquin.exe against minimal.exe, the least program doing
#    the same work, under Wine: median wall times over repeated runs
#    (default 50 of each, interleaved) and their ratio (target: at most
#    1.05); minimal_crt.exe, the same least program through the C runtime's
#    start-up, shows that start-up's share. Where this host cannot run
#    32-bit code the 64-bit build is timed, and the output says so;
#  - the size of build/win32/Vorquin.exe (target: at most 32 KiB) and the
#    DLLs it imports;
#  - GetArguments natively on a 32,767-byte command line (target: at least
#    1 GB/s).
# Builds what it needs through the win32, win64 and bench presets.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
runs=${1:-50}
[[ $runs =~ ^[1-9][0-9]*$ ]] || { echo "usage: bench.sh [runs]" >&2; exit 2; }

# Wine's clipboard needs a display.
if [[ ${VORQUIN_BENCH_DISPLAY:-} != 1 ]]; then
    exec timeout 1200 xvfb-run -a env VORQUIN_BENCH_DISPLAY=1 bash "$0" "$@"
fi

# 32-bit Wine where the host can run it.
source tests/wine/wine-flavour.sh
if wine32_usable; then
    tree=win32 objdump=i686-w64-mingw32-objdump
    select_wine wine32
else
    tree=win64 objdump=x86_64-w64-mingw32-objdump
    select_wine wine64
fi

log=$(mktemp "${TMPDIR:-/tmp}/vorquin-bench.XXXXXX")
build() {
    local preset=$1
    { [[ -f build/$preset/CMakeCache.txt ]] || cmake --preset "$preset"; } >>"$log" 2>&1 &&
        cmake --build --preset "$preset" >>"$log" 2>&1 ||
        { cat "$log"; echo "building the $preset preset failed" >&2; exit 1; }
}
echo "building (win32, $tree, bench)"
build win32
[[ $tree == win32 ]] || build "$tree"
build bench

exe=build/win32/Vorquin.exe
for program in build/$tree/tests/bench/minimal.exe build/$tree/tests/bench/minimal_crt.exe; do
    [[ -f $program ]] || { echo "missing $program: tests/bench is not in the Windows build" >&2; exit 1; }
done

# judge <0|1>: sets mark to ok or MISSED and counts the misses.
missed=0
judge() { if (($1)); then mark=ok; else mark=MISSED; missed=$((missed + 1)); fi; }

echo
echo "== size"
size=$(stat -c %s "$exe")
judge $((size <= 32768))
echo "$exe: $size bytes ($(awk -v s="$size" 'BEGIN { printf "%.1f", s / 1024 }') KiB; target at most 32 KiB: $mark)"
imports=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -f | tr '\n' ' ')
echo "imports: $imports"
for program in "build/$tree/tests/bench/minimal.exe" "build/$tree/tests/bench/minimal_crt.exe"; do
    echo "for comparison, $program: $(stat -c %s "$program") bytes, imports:" \
        "$($objdump -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -f | tr '\n' ' ')"
done

echo
echo "== GetArguments, native, 32,767-byte command line (stand-in heap)"
json=$log.json
timeout 120 build/bench/tests/bench/arguments_bench --benchmark_min_time=0.5 \
    --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_out="$json" --benchmark_out_format=json 2>>"$log"
# Decimal GB/s of each case's median repetition, from the JSON report.
while read -r name rate; do
    line="$name: $(awk -v r="$rate" 'BEGIN { printf "%.2f GB/s", r / 1e9 }')"
    if [[ $name == *one_long_path* ]]; then
        judge "$(awk -v r="$rate" 'BEGIN { print (r >= 1e9) }')"
        line+=" (target at least 1 GB/s: $mark)"
    fi
    echo "$line"
done < <(awk -F'"' '/"name":/ { name = $4 }
                  /"bytes_per_second":/ && name ~ /_median$/ { rate = $3; gsub(/[:, ]/, "", rate); print name, rate }' "$json")

echo
echo "== copy run under Wine ($arch build, build/$tree$([[ $tree == win64 ]] && echo ': this host cannot run 32-bit code'))"
export WINEPREFIX
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/vorquin-bench-prefix.XXXXXX")
cleanup() {
    timeout 20 "$server" -k 2>/dev/null || true
    timeout 20 "$server" -w 2>/dev/null || true
    rm -rf "$WINEPREFIX" "$log" "$json"
}
trap cleanup EXIT
timeout 30 "$server" -p
timeout 180 "$loader" wineboot -i >>"$log" 2>&1 || { cat "$log"; echo "wineboot failed" >&2; exit 1; }

mkdir -p "$WINEPREFIX/drive_c/bench"
cp "build/$tree/Vorquin.exe" "build/$tree/tests/bench/minimal.exe" "build/$tree/tests/bench/minimal_crt.exe" \
    "build/$tree/tests/wine/clipread.exe" "$WINEPREFIX/drive_c/bench/"
programs=(Vorquin minimal minimal_crt)
path='C:\文档\报告.txt'
expected=$(printf '%s' "$path" | iconv -f UTF-8 -t GBK | od -An -v -tx1 | tr -d ' \n')

run() {
    local rc=0
    timeout 30 "$loader" "C:\\bench\\$1.exe" "$path" 2>>"$log" || rc=$?
    ((rc == 0)) || { tail -20 "$log"; echo "$1.exe exited $rc" >&2; exit 1; }
}

# Warm-up, and each program must leave the path on the clipboard.
for program in "${programs[@]}"; do
    for _ in 1 2 3; do run "$program"; done
    text=$(timeout 30 "$loader" 'C:\bench\clipread.exe' 2>>"$log" | sed -n 's/^text //p' || true)
    [[ $text == "$expected" ]] || { echo "$program.exe left \"$text\" on the clipboard, not $expected" >&2; exit 1; }
done

# Interleaved, each round in a rotated order; times in microseconds.
declare -A times
for ((round = 0; round < runs; ++round)); do
    for ((k = 0; k < ${#programs[@]}; ++k)); do
        program=${programs[(round + k) % ${#programs[@]}]}
        start=${EPOCHREALTIME/./}
        run "$program"
        times[$program]+="$((${EPOCHREALTIME/./} - start)) "
    done
done

median() { tr ' ' '\n' <<< "$1" | sed '/^$/d' | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }
declare -A medians
printf '%-16s %10s %10s %10s\n' program "median ms" "mean ms" "min ms"
for program in "${programs[@]}"; do
    medians[$program]=$(median "${times[$program]}")
    tr ' ' '\n' <<< "${times[$program]}" | sed '/^$/d' |
        awk -v name="$program.exe" -v m="${medians[$program]}" \
            'NR == 1 || $1 < min { min = $1 } { sum += $1 }
             END { printf "%-16s %10.1f %10.1f %10.1f\n", name, m / 1000, sum / NR / 1000, min / 1000 }'
done
ratio() { awk -v a="${medians[$1]}" -v b="${medians[$2]}" 'BEGIN { printf "%.3f", a / b }'; }
vorquin_ratio=$(ratio Vorquin minimal)
judge "$(awk -v r="$vorquin_ratio" 'BEGIN { print (r <= 1.05) }')"
echo "Vorquin.exe / minimal.exe: $vorquin_ratio ($runs runs each; target at most 1.05: $mark)"
echo "Vorquin.exe / minimal_crt.exe: $(ratio Vorquin minimal_crt)"
echo "minimal_crt.exe / minimal.exe: $(ratio minimal_crt minimal) (the C runtime's start-up)"

echo
if ((missed)); then echo "bench: $missed target(s) missed"; else echo "bench: every target met"; fi
