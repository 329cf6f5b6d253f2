#!/bin/bash
# smoke.sh <Vorquin.exe> <helper dir> <wine32|wine64> <booted prefix>
# Runs Vorquin.exe in a copy of a freshly booted Wine prefix (code page
# 936, made by acceptance.sh boot): registration, removal and copying,
# checked through regdump.exe and clipread.exe.
set -euo pipefail

if (($# != 4)); then
    echo "usage: smoke.sh <Vorquin.exe> <helper dir> <wine32|wine64> <booted prefix>" >&2
    exit 2
fi
exe=$(realpath "$1") helpers=$(realpath "$2") flavour=$3 template=$4
[[ -f $template/system.reg ]] || { echo "no booted prefix in $template" >&2; exit 1; }

source "$(dirname "$0")/wine-flavour.sh"
select_wine "$flavour"

# Wine's clipboard needs a display.
if [[ ${VORQUIN_SMOKE_DISPLAY:-} != 1 ]]; then
    exec timeout 600 xvfb-run -a env VORQUIN_SMOKE_DISPLAY=1 bash "$0" "$@"
fi

started=$SECONDS
temporary_prefix smoke

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Runs a Windows program; its output goes to stdout, Wine's chatter to $log.
wine_run() { timeout 60 "$loader" "$@" 2>>"$log"; }
regdump() { wine_run "$helpers/regdump.exe" "$@"; }

# Hex of text (UTF-8 here) in another encoding, as regdump and clipread print it.
encoded() { printf '%s' "$2" | iconv -f UTF-8 -t "$1" | od -An -v -tx1 | tr -d ' \n'; }

run_vorquin() {
    local rc=0
    wine_run "$@" || rc=$?
    ((rc == 0)) || fail "$* exited $rc"
}

cp -a "$template/." "$WINEPREFIX/"
timeout 30 "$server" -p
# A GUI process for the whole run, so the clipboard outlives each copy run
# until clipread has read it.
start_keeper "$helpers/keeper.exe" 600
echo "$arch prefix ready after $((SECONDS - started)) s"

# key | label | placeholder
verbs=(
    '*\shell\QZV|Vorquin(&B)|%1'
    'lnkfile\shell\QZV_lnk|复制快捷方式路径(&E)|%1'
    'Directory\shell\QZV|复制文件夹路径(&B)|%L'
)
# folder | file name | removal switch; the last one in GBK, where the second
# byte of 誠 is that of a backslash.
installs=(
    'C:\Tools|Vorquin.exe|/U'
    'C:\Program Files\Vorquin Test|Vorquin.exe|/u'
    'C:\工具|Vorquin誠.exe|/U'
)

# The dump regdump [-w] prints for one registered verb; encoding GBK or UTF-16LE.
expected_dump() {
    local encoding=$1 key=$2 label=$3 placeholder=$4 program=$5 zero=00
    [[ $encoding == UTF-16LE ]] && zero=0000
    printf '%s\n' "$key" \
        "$key :  = type 1 hex $(encoded "$encoding" "$label")$zero" \
        "$key\\command" \
        "$key\\command :  = type 1 hex $(encoded "$encoding" "\"$program\" \"$placeholder\"")$zero"
}

check_absent() {
    local key=$1 rc=0
    regdump "$key" >/dev/null || rc=$?
    ((rc == 1)) || fail "$key: expected absent, regdump exited $rc"
}

for install in "${installs[@]}"; do
    IFS='|' read -r folder name switch <<< "$install"
    program="$folder\\$name"
    unix_folder="$WINEPREFIX/drive_c/${folder#C:\\}"
    mkdir -p "${unix_folder//\\//}"
    cp "$exe" "${unix_folder//\\//}/$name"
    echo "== $program"

    for verb in "${verbs[@]}"; do check_absent "${verb%%|*}"; done
    run_vorquin "$program"
    for verb in "${verbs[@]}"; do
        IFS='|' read -r key label placeholder <<< "$verb"
        for mode in GBK UTF-16LE; do
            if [[ $mode == GBK ]]; then actual=$(regdump "$key" || true)
            else actual=$(regdump -w "$key" || true); fi
            expected=$(expected_dump "$mode" "$key" "$label" "$placeholder" "$program")
            [[ $actual == "$expected" ]] ||
                fail "$key ($mode) after registration:"$'\n'"$(diff <(echo "$expected") <(echo "$actual") || true)"
        done
    done

    run_vorquin "$program" "$switch"
    for verb in "${verbs[@]}"; do
        key=${verb%%|*}
        check_absent "$key"
        regdump "${key%\\*}" >/dev/null || fail "${key%\\*} is gone after $switch"
    done
done

# Each copy replaces the last; the first one is quoted by Wine.
copies=('C:\文档 2\a b.txt' 'D:\x' 'C:\文档\x.txt')
for path in "${copies[@]}"; do
    echo "== copy $path"
    run_vorquin 'C:\Tools\Vorquin.exe' "$path"
    rc=0
    clipboard=$(wine_run "$helpers/clipread.exe") || rc=$?
    ((rc == 0)) || fail "clipread exited $rc after copying $path"
    formats=$(sed -n 's/^formats //p' <<< "$clipboard")
    # CF_TEXT first; after it only what Windows derives from it
    # (CF_OEMTEXT 7, CF_UNICODETEXT 13, CF_LOCALE 16).
    [[ $formats =~ ^1(\ (7|13|16))*$ ]] || fail "clipboard formats after $path: $formats"
    text=$(sed -n 's/^text //p' <<< "$clipboard")
    [[ $text == "$(encoded GBK "$path")" ]] || fail "CF_TEXT after $path: $text"
done

echo "smoke ($flavour) took $((SECONDS - started)) s"
if ((failures)); then
    echo "--- Wine's messages"
    cat "$log"
    exit 1
fi
echo "smoke: ok"
