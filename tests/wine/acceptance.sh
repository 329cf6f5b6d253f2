#!/bin/bash
# acceptance.sh boot <prefix> <wine32|wine64>
# acceptance.sh run <prefix> <wine32|wine64> <acceptance.exe> <Vorquin.exe> <group>
# acceptance.sh remove <prefix>
# boot makes the Wine prefix (code page 936) that every group starts from;
# run copies it, gives the copy its own X display and wineserver, and runs
# one group of acceptance.exe against Vorquin.exe in it.
set -euo pipefail

usage() {
    sed -n '2,4p' "$0" | sed 's/^# /usage: /' >&2
    exit 2
}
mode=${1:-}
case $mode in
    boot) (($# == 3)) || usage ;;
    run) (($# == 6)) || usage ;;
    remove) (($# == 2)) || usage ;;
    *) usage ;;
esac
prefix=$2
# Only ever deletes a Wine prefix.
removable() { [[ ! -e $prefix || -f $prefix/system.reg ]] || { echo "not a Wine prefix: $prefix" >&2; exit 1; }; }
if [[ $mode == remove ]]; then
    removable
    rm -rf "$prefix"
    exit 0
fi
flavour=$3

source "$(dirname "$0")/wine-flavour.sh"
select_wine "$flavour"

work=$(mktemp -d "${TMPDIR:-/tmp}/vorquin-acceptance.XXXXXX")
xvfb=
cleanup() {
    [[ -z ${WINEPREFIX:-} ]] || end_wineserver
    if [[ -n $xvfb ]]; then
        kill "$xvfb" 2>/dev/null || true
        wait "$xvfb" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# An X server on a free display of its own: Wine's windows and clipboard
# live there. Xvfb names the display once it accepts connections.
mkfifo "$work/display"
Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
display=
read -r -t 30 display <"$work/display" || true
[[ $display =~ ^[0-9]+$ ]] || { cat "$work/xvfb.log" >&2; echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$display

log=$work/wine.log
if [[ $mode == boot ]]; then
    started=$SECONDS
    removable
    rm -rf "$prefix"
    mkdir -p "$prefix"
    export WINEPREFIX=$prefix
    timeout 30 "$server" -p
    timeout 180 "$loader" wineboot -i >>"$log" 2>&1 || { cat "$log"; echo "wineboot failed" >&2; exit 1; }
    # Xvfb has no window manager: Wine would wait 2 s for one whenever a
    # message box closes.
    timeout 60 "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >>"$log" 2>&1 ||
        { cat "$log"; echo "cannot configure the X11 driver" >&2; exit 1; }
    # The server writes the registry to disk as it ends.
    timeout 20 "$server" -k || true
    timeout 20 "$server" -w
    echo "$arch prefix ready in $prefix after $((SECONDS - started)) s"
    exit 0
fi

driver=$4 exe=$5 group=$6
[[ -f $prefix/system.reg ]] || { echo "no prefix in $prefix: run boot first" >&2; exit 1; }
export WINEPREFIX=$work/prefix
cp -a "$prefix" "$WINEPREFIX"
# Drive R: for programs in a drive's root.
mkdir -p "$WINEPREFIX/drive_r"
ln -sfn ../drive_r "$WINEPREFIX/dosdevices/r:"
mkdir -p "$WINEPREFIX/drive_c/vorquin-build"
cp "$exe" "$WINEPREFIX/drive_c/vorquin-build/Vorquin.exe"
timeout 30 "$server" -p

rc=0
timeout 240 "$loader" "$driver" 'C:\vorquin-build\Vorquin.exe' "$group" 2>>"$log" || rc=$?
if ((rc != 0)); then
    echo "--- Wine's messages"
    tail -n 50 "$log"
fi
exit "$rc"
