# Sourced by the Wine scripts: select_wine <wine32|wine64> sets loader,
# server and arch for that Wine, checks the tools and the zh_CN.UTF-8
# locale, and exports the environment every run uses (code page 936, quiet,
# no Mono or Gecko). Where this host cannot run i386 code, 32-bit Wine runs
# in a guest (guest/vm.sh); select_wine wine32 fails outside it.

wine32_usable() {
    # qemu-user can start i386 programs but not Wine, so it does not count.
    [[ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]] || return 1
    local version
    version=$(timeout 20 /usr/lib/wine/wine --version 2>&1) || true
    [[ $version == wine-* ]]
}

# wine32_in_guest: whether 32-bit Wine runs in the guest of guest/vm.sh:
# where this host cannot run i386 code, or where VORQUIN_WINE32=guest asks
# for it; VORQUIN_WINE32=native never uses it.
wine32_in_guest() {
    case ${VORQUIN_WINE32:-auto} in
        guest) return 0 ;;
        native) return 1 ;;
        auto) ! wine32_usable ;;
        *) echo "VORQUIN_WINE32 must be auto, guest or native, not $VORQUIN_WINE32" >&2; exit 2 ;;
    esac
}

select_wine() {
    case $1 in
        wine64) loader=/usr/lib/wine/wine64 server=/usr/lib/wine/wineserver64 arch=win64 ;;
        wine32) loader=/usr/lib/wine/wine server=/usr/lib/wine/wineserver32 arch=win32 ;;
        *) echo "unknown Wine flavour: $1" >&2; exit 2 ;;
    esac
    if [[ $1 == wine32 ]] && ! wine32_usable; then
        echo "this host cannot run i386 code, so wine32 cannot run here: run it through tests/wine/guest/vm.sh" >&2
        exit 1
    fi
    local tool
    for tool in "$loader" "$server" "$(command -v Xvfb || echo Xvfb)"; do
        [[ -x $tool ]] || { echo "missing $tool" >&2; exit 1; }
    done
    locale -a | grep -qix 'zh_CN.utf8' || { echo "the zh_CN.UTF-8 locale is missing" >&2; exit 1; }
    export WINEARCH=$arch WINELOADER=$loader WINESERVER=$server
    export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}

# end_wineserver: kills the wineserver of WINEPREFIX and waits for it, for
# clean-ups; says nothing where none runs.
end_wineserver() {
    timeout 20 "$server" -k 2>/dev/null || true
    timeout 20 "$server" -w 2>/dev/null || true
}

# temporary_prefix <name>: exports WINEPREFIX, an empty folder, and sets
# log, both in a folder of their own under TMPDIR; when the script ends,
# the prefix's wineserver is killed and the folder is removed.
temporary_prefix() {
    export WINEPREFIX
    temporary_folder=$(mktemp -d "${TMPDIR:-/tmp}/vorquin-$1.XXXXXX")
    WINEPREFIX=$temporary_folder/prefix log=$temporary_folder/wine.log
    trap 'end_wineserver; rm -rf "$temporary_folder"' EXIT
    mkdir "$WINEPREFIX"
}

# start_keeper <keeper.exe> <seconds>: a GUI process for that long, so that
# the clipboard of a program that has ended stays until it is read back
# (Wine drops it soon after the last GUI process ends). Returns once the
# keeper's window exists.
start_keeper() {
    local ready=
    exec 4< <(timeout "$2" "$loader" "$1" "$2" 2>>"$log")
    read -r -t 120 ready <&4 || true
    [[ $ready == ready* ]] || { cat "$log"; echo "keeper.exe did not start" >&2; exit 1; }
}
