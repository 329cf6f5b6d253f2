#!/bin/bash
# runner_test.sh stale-pid
# runner_test.sh kernel-cache
# runner_test.sh job-output <build tree>
# runner_test.sh orphan-job <build tree>
# Checks of vm.sh itself. stale-pid and kernel-cache boot nothing: they run
# vm.sh on a scratch build tree with stand-ins for QEMU and apt on the
# PATH. job-output runs one noisy job in the guest of <build tree>, which
# must be up (or, where the host runs i386 code, here); orphan-job kills
# the run of a job in that guest (it is skipped, exit 77, where there is
# no guest).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
vm=$here/vm.sh
usage() {
    sed -n '2,5p' "$0" | sed 's/^# /usage: /' >&2
    exit 2
}
case ${1:-} in
    stale-pid | kernel-cache) (($# == 1)) || usage ;;
    job-output | orphan-job) (($# == 2)) || usage ;;
    *) usage ;;
esac

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
finish() {
    if ((failures)); then echo "$1: $failures failure(s)"; exit 1; fi
    echo "$1: ok"
}

# A QEMU that logs the kernel it was given and ends at once (with
# FAKE_GUEST=up: a guest that is up at once and stays), and an apt whose
# answers the cases set: FAKE_KERNEL_PACKAGE (empty: no package lists),
# FAKE_DOWNLOAD (ok: a kernel package made on the spot; hangs: a download
# that goes on). What stays goes on only while $scratch/hold exists.
modules=(virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci virtio_console
         netfs fscache 9pnet 9pnet_virtio 9p overlay)
make_fakes() {
    local bin=$1
    mkdir -p "$bin"
    cat >"$bin/qemu-system-x86_64" <<'EOF'
#!/bin/bash
while (($#)); do
    case $1 in
        -kernel) cat "$2" >"$FAKE_QEMU_LOG" ;;
        -initrd) control=${2%/*} ;;
    esac
    shift
done
if [[ ${FAKE_GUEST:-} == up ]]; then
    echo "fake guest" >"$control/ready"
    while [[ ! -e $control/stop && -e $FAKE_HOLD ]] && ((SECONDS < 60)); do sleep 0.1; done
    exit 0
fi
echo "fake QEMU: no guest here" >&2
exit 1
EOF
    cat >"$bin/apt-cache" <<'EOF'
#!/bin/bash
[[ -z ${FAKE_KERNEL_PACKAGE:-} ]] || printf 'linux-image-amd64\n  Depends: %s\n' "$FAKE_KERNEL_PACKAGE"
EOF
    cat >"$bin/apt-get" <<EOF
#!/bin/bash
modules=(${modules[*]})
EOF
    cat >>"$bin/apt-get" <<'EOF'
package=$2
if [[ $1 == download && ${FAKE_DOWNLOAD:-} == hangs ]]; then
    read -r stat </proc/$$/stat
    fields=(${stat##*) })
    echo "$$ ${fields[19]}" >"$FAKE_APT_STARTED"
    while [[ -e $FAKE_HOLD ]] && ((SECONDS < 150)); do sleep 0.1; done
    exit 100
fi
if [[ $1 != download || ${FAKE_DOWNLOAD:-} != ok ]]; then
    echo "E: Failed to fetch $package: Temporary failure resolving the mirror" >&2
    exit 100
fi
version=${package#linux-image-}
root=$(mktemp -d)
mkdir -p "$root/DEBIAN" "$root/boot" "$root/lib/modules/$version/kernel"
printf 'Package: %s\nVersion: 1\nArchitecture: amd64\nMaintainer: test <test@localhost>\nDescription: test\n' \
    "$package" >"$root/DEBIAN/control"
{ printf 'MZ bzImage set-up code\n'; printf '\x7fELF kernel %s\n' "$version" | xz -c; printf 'trailer'; } \
    >"$root/boot/vmlinuz-$version"
for ((i = 0; i < ${#modules[@]}; ++i)); do
    file=$root/lib/modules/$version/kernel/${modules[i]}.ko
    echo "module ${modules[i]} $version" >"$file"
    if ((i % 2)); then xz "$file"; fi
done
dpkg-deb -Zgzip -b "$root" "${package}_1_amd64.deb" >/dev/null
rm -rf "$root"
EOF
    chmod +x "$bin"/*
    : >"$scratch/hold"
}

# Its start time, field 22 of /proc/PID/stat (the 20th after the name).
start_time() { sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f20; }
# still_runs "<pid> <start time>": whether that process runs, not a zombie.
still_runs() {
    local state
    state=$(sed 's/.*) //' "/proc/${1%% *}/stat" 2>/dev/null | cut -d' ' -f1)
    [[ -n $state && $state != Z && $(start_time "${1%% *}") == "${1#* }" ]]
}

scratch=$(mktemp -d "${TMPDIR:-/tmp}/vorquin-runner-test.XXXXXX")
sleeper= marker=
cleanup() {
    if [[ -n $sleeper ]]; then
        kill "$sleeper" 2>/dev/null || true
        wait "$sleeper" 2>/dev/null || true
    fi
    rm -rf "$scratch" ${marker:+"$marker"}
}
trap cleanup EXIT

# vm_fake <mode> [command...]: vm.sh on the scratch tree with the
# stand-ins, its output in $scratch/out, its status in vm_rc and its time
# in vm_seconds. For one call: vm_tree and vm_script name the tree and
# vm.sh by other paths; vm_owned=1 runs it as this shell's own child, so
# that this shell owns the guest it starts; vm_interrupt_when=<file> gives
# it Ctrl-C (SIGINT to its process group) once <file> exists, and
# vm_seconds then counts from there.
vm_fake() {
    local started=$SECONDS mode=$1 pid id waited=0
    shift
    local command=(env PATH="$scratch/bin:$PATH" VORQUIN_WINE32=guest XDG_CACHE_HOME="$scratch/cache"
                   FAKE_QEMU_LOG="$scratch/kernel-used" FAKE_HOLD="$scratch/hold" FAKE_APT_STARTED="$scratch/apt-started"
                   bash "${vm_script:-$vm}" "$mode" "${vm_tree:-$scratch/build}" "$@")
    vm_rc=0
    if [[ -n ${vm_interrupt_when:-} ]]; then
        # A process group of its own, as a terminal gives a command.
        set -m
        "${command[@]}" >"$scratch/out" 2>&1 </dev/null &
        pid=$!
        set +m
        id="$pid $(start_time "$pid")"
        until [[ -e $vm_interrupt_when ]] || ((++waited > 300)); do sleep 0.1; done
        kill -INT -- "-$pid" 2>/dev/null || true
        started=$SECONDS waited=0
        while still_runs "$id" && ((++waited <= 300)); do sleep 0.1; done
        # Past 30 s: let the stand-ins end, so that it does too.
        ((waited <= 300)) || rm -f "$scratch/hold"
        wait "$pid" || vm_rc=$?
    elif [[ -n ${vm_owned:-} ]]; then
        "${command[@]}" >"$scratch/out" 2>&1 </dev/null || vm_rc=$?
    else
        timeout 120 "${command[@]}" >"$scratch/out" 2>&1 </dev/null || vm_rc=$?
    fi
    vm_seconds=$((SECONDS - started))
}
# A kernel in the cache: complete, or (with "!") only its vmlinux.
cache_kernel() {
    local dir=$scratch/cache/vorquin/guest/linux-image-${1%!}-amd64 module
    mkdir -p "$dir/modules"
    echo "cached kernel ${1%!}" >"$dir/vmlinux"
    [[ $1 == *! ]] && return
    for module in "${modules[@]}"; do echo "module $module" >"$dir/modules/$module.ko"; done
}
cached_now() {
    find "$scratch/cache/vorquin/guest" -mindepth 1 -maxdepth 1 -type d -printf '%f\n' 2>/dev/null |
        sed 's/^linux-image-//; s/-amd64$//' | sort -V | tr '\n' ' ' | sed 's/ $//'
}

stale_pid() {
    make_fakes "$scratch/bin"
    mkdir -p "$scratch/build"
    cache_kernel 6.1.0-9
    # A process of this test's own that must outlive every step.
    setsid sleep 600 </dev/null >/dev/null 2>&1 &
    sleeper=$!
    local identity dead
    identity="$sleeper $(start_time "$sleeper")"
    true &
    dead=$!
    wait "$dead"
    # qemu.pid as a crashed or interrupted run may leave it | what it names
    local cases=(
        "$sleeper|a live process, by PID alone"
        "$sleeper 1|a live process, with another start time"
        "$identity|a live process with its own start time, but not a QEMU of this tree"
        "$dead 1|a process that has ended"
        "not a number|a damaged file"
        "|an empty file"
    )
    local entry content what step
    for entry in "${cases[@]}"; do
        content=${entry%%|*} what=${entry#*|}
        for step in stop run start; do
            mkdir -p "$scratch/build/guest"
            printf '%s\n' "$content" >"$scratch/build/guest/qemu.pid"
            if [[ $step == run ]]; then vm_fake run true; else vm_fake "$step"; fi
            case $step in
                stop) ((vm_rc == 0)) && grep -q 'no guest is running' "$scratch/out" ||
                          fail "stop with $what: exit $vm_rc, $(<"$scratch/out")" ;;
                run) ((vm_rc == 1)) && grep -q 'no guest is running' "$scratch/out" ||
                         fail "run with $what: exit $vm_rc, $(<"$scratch/out")" ;;
                # The stand-in QEMU ends at once: start got as far as booting.
                start) ((vm_rc == 1)) && grep -q 'QEMU ended before the guest was up' "$scratch/out" ||
                           fail "start with $what: exit $vm_rc, $(<"$scratch/out")"
                       ! grep -q 'ending the guest' "$scratch/out" ||
                           fail "start with $what took the file for a guest of its own" ;;
            esac
            ((vm_seconds < 10)) || fail "$step with $what took $vm_seconds s"
            [[ $(start_time "$sleeper") == "${identity#* }" ]] ||
                { fail "$step with $what killed a process that was not its own"; finish "stale qemu.pid"; }
        done
    done

    # A guest that is up, and the same tree by another spelling (with vm.sh
    # from a checkout reached by a symlink too): a second start must wait
    # for that guest, not take its folder and boot another; its owner's stop
    # by either spelling ends it.
    ln -s "$scratch/build" "$scratch/alias"
    ln -s "$(cd "$here/../../.." && pwd)" "$scratch/checkout"
    local alias=$scratch/alias other_vm=$scratch/checkout/tests/wine/guest/vm.sh guest
    rm -rf "$scratch/build/guest"
    FAKE_GUEST=up vm_owned=1 vm_fake start
    guest=$(cat "$scratch/build/guest/qemu.pid" 2>/dev/null) || true
    ((vm_rc == 0)) && still_runs "$guest" ||
        { fail "the stand-in guest is not up: $(<"$scratch/out")"; finish "stale qemu.pid"; }
    FAKE_GUEST=up VORQUIN_GUEST_WAIT=2 vm_tree=$alias vm_script=$other_vm vm_fake start
    ((vm_rc == 1)) && grep -q 'is in use by its owner' "$scratch/out" && grep -q 'still in use after 2 s' "$scratch/out" ||
        fail "a start by another spelling did not wait for the guest: exit $vm_rc, $(<"$scratch/out")"
    [[ $(cat "$scratch/build/guest/qemu.pid" 2>/dev/null) == "$guest" ]] && still_runs "$guest" ||
        fail "a start by another spelling took the folder of a guest that is up"
    vm_owned=1 vm_tree=$alias vm_script=$other_vm vm_fake stop
    ((vm_rc == 0)) && grep -q 'guest: stopped' "$scratch/out" && ! still_runs "$guest" ||
        fail "its owner's stop by another spelling: exit $vm_rc, $(<"$scratch/out")"
    ((vm_seconds < 10)) || fail "that stop took $vm_seconds s"
    finish "stale qemu.pid"
}

kernel_cache() {
    make_fakes "$scratch/bin"
    # name | cached (! only a vmlinux) | a fetch left half done | kernel apt names |
    # download (hangs: Ctrl-C while it runs) | status | kernel booted | cache after | warning
    local cases=(
        "offline, newer cached|6.1.0-9 6.1.0-10|yes|6.1.0-12-amd64|fails|1|cached kernel 6.1.0-10|6.1.0-10|booting the cached linux-image-6.1.0-10-amd64"
        "no package lists|6.1.0-9 6.1.0-10|no||fails|1|cached kernel 6.1.0-10|6.1.0-10|"
        "apt names an older cached one|6.1.0-9 6.1.0-10|no|6.1.0-9-amd64|fails|1|cached kernel 6.1.0-9|6.1.0-9 6.1.0-10|"
        "online, a new kernel|6.1.0-9|yes|6.1.0-10-amd64|ok|1|\x7fELF kernel 6.1.0-10-amd64|6.1.0-10|"
        "offline, newest cached one half unpacked|6.1.0-9 6.1.0-11!|no|6.1.0-12-amd64|fails|1|cached kernel 6.1.0-9|6.1.0-9|booting the cached linux-image-6.1.0-9-amd64"
        "offline, nothing cached||yes|6.1.0-12-amd64|fails|1|||no kernel to boot"
        "Ctrl-C while the kernel downloads|6.1.0-9|yes|6.1.0-10-amd64|hangs|130||6.1.0-9|"
    )
    local entry name cached leftover package download status booted after warning version expected fetcher
    for entry in "${cases[@]}"; do
        IFS='|' read -r name cached leftover package download status booted after warning <<<"$entry"
        rm -rf "$scratch/build" "$scratch/cache" "$scratch/kernel-used"
        mkdir -p "$scratch/build" "$scratch/cache/vorquin/guest"
        for version in $cached; do cache_kernel "$version"; done
        if [[ $leftover == yes ]]; then
            mkdir -p "$scratch/cache/vorquin/guest/fetch.abc123/modules"
            echo "half-fetched kernel 6.1.0-99" >"$scratch/cache/vorquin/guest/fetch.abc123/vmlinux"
        fi
        rm -f "$scratch/apt-started"
        if [[ $download == hangs ]]; then
            FAKE_KERNEL_PACKAGE=linux-image-$package FAKE_DOWNLOAD=hangs vm_interrupt_when=$scratch/apt-started \
                vm_fake start
            fetcher=$(cat "$scratch/apt-started" 2>/dev/null) || fail "$name: the download did not start"
            ((vm_seconds <= 5)) || fail "$name: start ended $vm_seconds s after Ctrl-C"
            ! still_runs "$fetcher" || fail "$name: the download still runs after start has ended"
        else
            FAKE_KERNEL_PACKAGE=${package:+linux-image-$package} FAKE_DOWNLOAD=$download vm_fake start
        fi
        ((vm_rc == status)) || fail "$name: exit $vm_rc, not $status: $(<"$scratch/out")"
        [[ -z $(find "$scratch/cache/vorquin/guest" -name 'fetch.*') ]] ||
            fail "$name: left $(find "$scratch/cache/vorquin/guest" -name 'fetch.*' -printf '%f ')in the cache"
        if [[ -n $booted ]]; then
            grep -q 'QEMU ended before the guest was up' "$scratch/out" || fail "$name: did not boot: $(<"$scratch/out")"
            expected=$(printf "$booted")
            [[ $(cat "$scratch/kernel-used" 2>/dev/null) == "$expected" ]] ||
                fail "$name: booted '$(cat "$scratch/kernel-used" 2>/dev/null)', not '$expected'"
        else
            [[ ! -e $scratch/kernel-used ]] || fail "$name: booted although no kernel is there"
        fi
        [[ $(cached_now) == "$after" ]] || fail "$name: the cache holds '$(cached_now)', not '$after'"
        if [[ -n $warning ]]; then
            (($(grep -c "$warning" "$scratch/out") == 1)) || fail "$name: no one-line warning '$warning': $(<"$scratch/out")"
        elif grep -q 'booting the cached' "$scratch/out"; then
            fail "$name: warned although nothing failed: $(<"$scratch/out")"
        fi
    done
    finish "kernel cache"
}

# One job that writes 60 MB in 2 MB steps, then exits 3: its whole output
# and its status must come back.
job_output() {
    local build=$1 rc=0
    local job='for i in $(seq 30); do yes "step $i of 30: the quick brown fox" | head -c 2097152; sleep 0.05; done; exit 3'
    bash -c "$job" >"$scratch/expected" || true
    bash "$vm" run "$build" bash -c "$job" >"$scratch/actual" || rc=$?
    ((rc == 3)) || fail "the job exited 3, run returned $rc"
    cmp "$scratch/expected" "$scratch/actual" ||
        fail "the output differs: $(stat -c %s "$scratch/actual") bytes came back, of $(stat -c %s "$scratch/expected")"
    finish "job output"
}

# A job whose run is killed outright (as CTest kills a test on its
# timeout, past any trap) must be cancelled in the guest, so that its own
# clean-up runs, within about 30 s.
orphan_job() {
    local build=$1 run waited=0
    source "$here/../wine-flavour.sh"
    if ! wine32_in_guest; then
        echo "orphan job: skipped: on this host vm.sh run runs the command itself, so no guest job can be orphaned"
        exit 77
    fi
    marker=$(mktemp "$build/orphan-job.XXXXXX")
    bash "$vm" run "$build" bash -c 'trap "echo cancelled >$0; exit 9" TERM; echo started >$0; sleep 300 & wait' \
        "$marker" >/dev/null 2>&1 &
    run=$!
    until [[ $(<"$marker") == started ]]; do
        sleep 0.5
        ((++waited < 120)) || { fail "the job did not start"; kill -KILL "$run"; finish "orphan job"; }
    done
    kill -KILL "$run"
    wait "$run" 2>/dev/null || true
    waited=0
    until [[ $(<"$marker") == cancelled ]]; do
        sleep 1
        ((++waited < 60)) || { fail "the job still ran 60 s after its run was killed"; break; }
    done
    ((waited >= 60)) || echo "cancelled $waited s after its run was killed"
    finish "orphan job"
}

case $1 in
    stale-pid) stale_pid ;;
    kernel-cache) kernel_cache ;;
    job-output) job_output "$2" ;;
    orphan-job) orphan_job "$2" ;;
esac
