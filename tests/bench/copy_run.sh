#!/usr/bin/env bash
# copy_run.sh <build tree> <wine32|wine64> <runs>
# Times a copy run of <build tree>/Vorquin.exe against minimal.exe, the
# least program doing the same work, and minimal_crt.exe, the same through
# the C runtime's start-up: interleaved, each round in a rotated order,
# under the given Wine in a fresh prefix. Prints each program's median,
# mean and least wall time, then "ratio <Vorquin / minimal>" and the other
# ratios. Fails when a program fails or leaves the wrong clipboard text.
set -euo pipefail
(($# == 3)) || { echo "usage: copy_run.sh <build tree> <wine32|wine64> <runs>" >&2; exit 2; }
tree=$(cd "$1" && pwd) flavour=$2 runs=$3
here=$(cd "$(dirname "$0")" && pwd)

source "$here/../wine/wine-flavour.sh"
select_wine "$flavour"

# Wine's clipboard needs a display.
if [[ ${VORQUIN_BENCH_DISPLAY:-} != 1 ]]; then
    exec timeout 3000 xvfb-run -a env VORQUIN_BENCH_DISPLAY=1 bash "$0" "$@"
fi

temporary_prefix bench-prefix
timeout 30 "$server" -p
timeout 300 "$loader" wineboot -i >>"$log" 2>&1 || { cat "$log"; echo "wineboot failed" >&2; exit 1; }

mkdir -p "$WINEPREFIX/drive_c/bench"
cp "$tree/Vorquin.exe" "$tree/tests/bench/minimal.exe" "$tree/tests/bench/minimal_crt.exe" \
    "$tree/tests/wine/clipread.exe" "$tree/tests/wine/keeper.exe" "$WINEPREFIX/drive_c/bench/"
programs=(Vorquin minimal minimal_crt)
path='C:\文档\报告.txt'
expected=$(printf '%s' "$path" | iconv -f UTF-8 -t GBK | od -An -v -tx1 | tr -d ' \n')

# A GUI process for the whole run, so each program's clipboard outlives it.
start_keeper 'C:\bench\keeper.exe' 3000

run() {
    local rc=0
    timeout 60 "$loader" "C:\\bench\\$1.exe" "$path" 2>>"$log" || rc=$?
    ((rc == 0)) || { tail -20 "$log"; echo "$1.exe exited $rc" >&2; exit 1; }
}

# Warm-up, and each program must leave the path on the clipboard.
for program in "${programs[@]}"; do
    for _ in 1 2 3; do run "$program"; done
    text=$(timeout 60 "$loader" 'C:\bench\clipread.exe' 2>>"$log" | sed -n 's/^text //p' || true)
    [[ $text == "$expected" ]] || { echo "$program.exe left \"$text\" on the clipboard, not $expected" >&2; exit 1; }
done

# Times in microseconds.
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
echo "ratio $(ratio Vorquin minimal)"
echo "Vorquin.exe / minimal_crt.exe: $(ratio Vorquin minimal_crt)"
echo "minimal_crt.exe / minimal.exe: $(ratio minimal_crt minimal) (the C runtime's start-up)"
