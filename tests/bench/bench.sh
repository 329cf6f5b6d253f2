#!/usr/bin/env bash
# bench.sh [runs]
# Prints Vorquin's performance figures:
#  - a copy run of Vorquin.exe against minimal.exe, the least program doing
#    the same work, under Wine: median wall times over repeated runs
#    (default 50 of each, interleaved) and their ratio (target: at most
#    1.05); minimal_crt.exe, the same least program through the C runtime's
#    start-up, shows that start-up's share. Timed twice: the win64 build
#    under wine64 on this host, and the win32 build, the product, under
#    wine32, on this host where it runs i386 code, else in the guest of
#    tests/wine/guest/vm.sh (VORQUIN_WINE32=guest uses the guest anyway);
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

source tests/wine/wine-flavour.sh

work=$(mktemp -d "${TMPDIR:-/tmp}/vorquin-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
log=$work/build.log json=$work/arguments.json copy=$work/copy.txt
build() {
    local preset=$1
    { [[ -f build/$preset/CMakeCache.txt ]] || cmake --preset "$preset"; } >>"$log" 2>&1 &&
        cmake --build --preset "$preset" >>"$log" 2>&1 ||
        { cat "$log"; echo "building the $preset preset failed" >&2; exit 1; }
}
echo "building (win32, win64, bench)"
build win32
build win64
build bench

exe=build/win32/Vorquin.exe

# judge <0|1>: sets mark to ok or MISSED and counts the misses.
missed=0
judge() { if (($1)); then mark=ok; else mark=MISSED; missed=$((missed + 1)); fi; }

echo
echo "== size"
size=$(stat -c %s "$exe")
judge $((size <= 32768))
echo "$exe: $size bytes ($(awk -v s="$size" 'BEGIN { printf "%.1f", s / 1024 }') KiB; target at most 32 KiB: $mark)"
imports() { i686-w64-mingw32-objdump -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -f | tr '\n' ' '; }
echo "imports: $(imports "$exe")"
for program in build/win32/tests/bench/minimal.exe build/win32/tests/bench/minimal_crt.exe; do
    echo "for comparison, $program: $(stat -c %s "$program") bytes, imports: $(imports "$program")"
done

echo
echo "== GetArguments, native, 32,767-byte command line (stand-in heap)"
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

# copy_run <title> <command...>: prints the timings and judges the ratio.
copy_run() {
    local title=$1 ratio
    shift
    echo
    echo "== copy run under Wine: $title"
    "$@" | tee "$copy"
    ratio=$(sed -n 's/^ratio //p' "$copy")
    [[ -n $ratio ]] || { echo "no ratio: the copy run failed or was stopped (its output is above)" >&2; exit 1; }
    judge "$(awk -v r="$ratio" 'BEGIN { print (r <= 1.05) }')"
    echo "Vorquin.exe / minimal.exe ($title): $ratio ($runs runs each; target at most 1.05: $mark)"
}
copy_run "win64 build, wine64 on this host" bash tests/bench/copy_run.sh build/win64 wine64 "$runs"
if wine32_in_guest; then where="wine32 in the guest, under TCG emulation"
else where="wine32 on this host"; fi
# copy_run.sh gives itself 3000 s; a job in the guest gets as long.
copy_run "win32 build (the product), $where" \
    env VORQUIN_GUEST_JOB_LIMIT=3000 \
    bash tests/wine/guest/vm.sh exec build/win32 bash tests/bench/copy_run.sh build/win32 wine32 "$runs"

echo
if ((missed)); then echo "bench: $missed target(s) missed"; else echo "bench: every target met"; fi
