#!/bin/bash
# vm.sh start <build tree>
# vm.sh run <build tree> <command> [arguments]
# vm.sh stop <build tree>
# vm.sh exec <build tree> <command> [arguments]
#
# Runs 32-bit Wine where the host cannot run i386 code: in a throwaway
# x86_64 guest under qemu-system (TCG), booting Debian's own kernel on the
# host's root (read-only, writes go to a tmpfs overlay), with the source
# tree shared read-only and <build tree> read-write at their own paths. So
# the guest has the same wine32, Xvfb and locale as the host, and the
# trees' files where the host has them.
#
# start boots the guest and waits until it takes jobs; run runs one command
# in it (the output streams back byte for byte, the exit status is the
# command's); stop ends the guest; exec is start, run and stop in one.
# Where the host runs i386 code itself, start and stop do nothing and run
# runs the command here.
#
# A guest belongs to the process that started it (start's parent, such as
# ctest or a shell; exec's own process) until that process stops it or
# ends. Meanwhile another start on the same build tree waits, and so it
# does while a job still runs in a guest whose owner has gone (at most
# VORQUIN_GUEST_WAIT seconds, default 900; then it gives up); a stop from
# anyone else leaves the guest running. run uses whichever guest is up.
#
# In the guest a job is killed after VORQUIN_GUEST_JOB_LIMIT seconds
# (default 900), or about 30 s after its run on the host has gone; the
# guest ends itself after five minutes without a job, and QEMU is killed
# after VORQUIN_GUEST_LIMIT seconds (default 3600) in any case. The runner
# only ever signals the QEMU it started, known by its process ID, start
# time and command line.
#
# The kernel is fetched once with apt-get download into
# ${XDG_CACHE_HOME:-$HOME/.cache}/vorquin/guest, or <build tree>/.cache/...
# when HOME is not set. Where it cannot be fetched (offline, say), the
# newest kernel in the cache boots instead. The cache keeps the kernel in
# use and the newest one.
set -euo pipefail

# Physical paths: one tree is one tree however it is spelled.
here=$(cd "$(dirname "$0")" && pwd -P)
source_tree=$(cd "$here/../../.." && pwd -P)
source_as=$(cd "$(dirname "$0")/../../.." && pwd)
usage() {
    sed -n '2,5p' "$0" | sed 's/^# /usage: /' >&2
    exit 2
}
(($# >= 2)) || usage
mode=$1
[[ -d $2 ]] || { echo "no build tree at $2" >&2; exit 2; }
build=$(cd "$2" && pwd -P)
build_as=$(cd "$2" && pwd)
shift 2
case $mode in
    start | stop) (($# == 0)) || usage ;;
    run | exec) (($# >= 1)) || usage ;;
    *) usage ;;
esac

control=$build/guest
lock=$build/guest.lock
cache=${XDG_CACHE_HOME:-${HOME:-$build}/.cache}/vorquin/guest
limit=${VORQUIN_GUEST_LIMIT:-3600}
wait_limit=${VORQUIN_GUEST_WAIT:-900}
job_limit=${VORQUIN_GUEST_JOB_LIMIT:-900}
boot_deadline=300
for number in "$limit" "$wait_limit" "$job_limit"; do
    [[ $number =~ ^[0-9]+$ ]] || { echo "guest: limits are whole seconds, not '$number'" >&2; exit 2; }
done
# Modules for virtio-9p, the virtio console and the overlay root, in the
# order they must be loaded.
modules=(virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci virtio_console
         netfs fscache 9pnet 9pnet_virtio 9p overlay)

source "$here/../wine-flavour.sh"

die() { echo "guest: $*" >&2; exit 1; }

# process_start <pid>: sets started_at to the process's start time, which
# with its PID names one process even once the PID has been reused; fails
# where no such process runs. Builtins only: it runs several times a second.
process_start() {
    local stat fields
    [[ $1 =~ ^[0-9]+$ ]] || return 1
    read -r stat 2>/dev/null <"/proc/$1/stat" || return 1
    read -r -a fields <<<"${stat##*) }"
    [[ ${fields[0]} != Z ]] || return 1
    started_at=${fields[19]}
}

# process_id <pid>: "<pid> <start time>".
process_id() { process_start "$1" && echo "$1 $started_at"; }

# alive <id>: whether the process that process_id named still runs.
alive() {
    [[ $1 =~ ^([0-9]+)\ ([0-9]+)$ ]] || return 1
    local pid=${BASH_REMATCH[1]} start=${BASH_REMATCH[2]}
    process_start "$pid" && [[ $started_at == "$start" ]]
}

# describe <id>: the process and its command, for messages.
describe() {
    local pid=${1%% *} command
    command=$(tr '\0' ' ' 2>/dev/null <"/proc/$pid/cmdline" | head -c 160) || true
    echo "pid $pid, ${command% }"
}

# The owner a start records and a stop must match: start's parent (ctest,
# or the shell it was typed in), or exec's own process.
self=$(process_id $$)
if [[ $mode == exec || $PPID == 1 ]]; then me=$self
else me=$(process_id "$PPID") || me=$self; fi

# qemu_alive: whether the QEMU this tree's start launched still runs; sets
# qemu_pid. qemu.pid must name a live process by process_id, and that
# process must boot this tree's initramfs.
qemu_alive() {
    local id= argument
    local -a command
    read -r id 2>/dev/null <"$control/qemu.pid" || [[ -n $id ]] || return 1
    alive "$id" || return 1
    mapfile -d '' command 2>/dev/null <"/proc/${id%% *}/cmdline" || return 1
    for argument in "${command[@]}"; do
        if [[ $argument == "$control/initramfs.cpio" ]]; then
            qemu_pid=${id%% *}
            return 0
        fi
    done
    return 1
}

# kill_group <id>: kills the process that process_id named, if it still
# runs, with its process group (setsid made it the group's leader).
kill_group() {
    alive "$1" || return 0
    kill -KILL -- "-${1%% *}" 2>/dev/null || true
}

# Kills this tree's QEMU, with its process group, if it still runs.
kill_qemu() {
    qemu_alive || return 0
    kill -KILL -- "-$qemu_pid" 2>/dev/null || true
}

# Waits up to 60 s for this tree's QEMU to end, then kills it.
stop_qemu() {
    local waited=0
    while qemu_alive && ((waited < 600)); do
        sleep 0.1
        waited=$((waited + 1))
    done
    if qemu_alive; then
        echo "guest: QEMU did not end within 60 s, killing it" >&2
        kill_qemu
    fi
    rm -f "$control/qemu.pid" "$control/owner"
}

# end_guest: tells this tree's guest to stop and waits for QEMU to end. A
# cancelled job has had SIGTERM and gets SIGKILL 10 s later: its clean-up
# may run first.
end_guest() {
    local waited=0 pending
    for pending in "$control"/jobs/*/; do
        while [[ -e $pending/cancel && ! -e $pending/rc ]] && ((waited < 150)) && qemu_alive; do
            sleep 0.1
            waited=$((waited + 1))
        done
    done
    : >"$control/stop"
    stop_qemu
}

# busy: whether a job is in the guest whose run on this host (other than
# this process) still waits for it; sets busy_client to that run.
busy() {
    local job client
    for job in "$control"/jobs/*/; do
        [[ ! -f $job/rc ]] || continue
        read -r client 2>/dev/null <"$job/client" || continue
        if [[ $client != "$self" ]] && alive "$client"; then
            busy_client=$client
            return 0
        fi
    done
    return 1
}

show_logs() {
    echo "--- QEMU" >&2
    tail -n 20 "$control/qemu.log" >&2 2>/dev/null || true
    echo "--- guest console" >&2
    tail -n 40 "$control/console.log" >&2 2>/dev/null || true
}

# One lock per build tree orders start, stop and the hand-over of a job;
# never held by QEMU or a job.
take_lock() {
    exec 9>>"$lock"
    flock "$1" 9
}
drop_lock() { exec 9>&-; }

# kernel_complete <dir>: whether <dir> holds a whole unpacked kernel.
kernel_complete() {
    local module
    [[ -f $1/vmlinux ]] || return 1
    for module in "${modules[@]}"; do
        [[ -f $1/modules/$module.ko ]] || return 1
    done
}

# The newest whole kernel in the cache.
newest_cached() {
    local dir newest=
    while read -r dir; do
        if kernel_complete "$dir"; then newest=$dir; fi
    done < <(find "$cache" -mindepth 1 -maxdepth 1 -type d -name 'linux-image-*' 2>/dev/null | sort -V)
    [[ -n $newest ]] && echo "$newest"
}

# download_kernel <package>: fetches Debian's kernel package and unpacks
# into $cache/<package> what the guest boots: vmlinux (the uncompressed
# image, which QEMU boots through PVH) and modules/*.ko. Whole or not at
# all; its work folder goes whatever happens. Every step is checked, since
# its caller tests its status (where set -e does not apply).
download_kernel() (
    package=$1 fetcher=
    work=$(mktemp -d "$cache/fetch.XXXXXX") || die "cannot make a folder in $cache"
    # An interrupted fetch ends apt-get (through timeout, which passes the
    # signal on to its process group) before the folder goes.
    trap 'if [[ -n $fetcher && " $(jobs -p | tr "\n" " ") " == *" $fetcher "* ]]; then
              kill -TERM "$fetcher" 2>/dev/null || true
              wait "$fetcher" 2>/dev/null || true
          fi
          rm -rf "$work"' EXIT
    trap 'exit 129' HUP
    trap 'exit 130' INT
    trap 'exit 143' TERM
    cd "$work" || die "cannot enter $work"
    # In the background, so that a signal ends the wait at once: timeout
    # runs in a process group of its own, which Ctrl-C never reaches.
    timeout -k 5 600 apt-get download "$package" >download.log 2>&1 &
    fetcher=$!
    status=0
    wait "$fetcher" || status=$?
    fetcher=
    ((status == 0)) || { cat download.log >&2; die "cannot download $package"; }
    dpkg-deb -x ./*.deb root || die "cannot unpack $package"
    vmlinuz=$(find root/boot -name 'vmlinuz-*' | head -n 1)
    [[ -n $vmlinuz ]] || die "no vmlinuz in $package"
    # The image is a bzImage with an xz payload; QEMU boots the ELF in it.
    offset=$(LC_ALL=C grep -abo -m 1 $'\xfd7zXZ' "$vmlinuz" | head -n 1 | cut -d: -f1)
    [[ -n $offset ]] || die "no xz payload in $vmlinuz"
    mkdir -p kernel/modules || die "cannot make a folder in $work"
    tail -c +$((offset + 1)) "$vmlinuz" | xz -dcq >kernel/vmlinux 2>/dev/null
    [[ $(head -c 4 kernel/vmlinux | od -An -tx1 | tr -d ' ') == 7f454c46 ]] ||
        die "cannot unpack the kernel image of $package"
    for module in "${modules[@]}"; do
        file=$(find root/lib/modules \( -name "$module.ko" -o -name "$module.ko.xz" \) | head -n 1)
        [[ -n $file ]] || die "$package has no module $module"
        if [[ $file == *.xz ]]; then xz -dc "$file" >"kernel/modules/$module.ko"
        else cp "$file" "kernel/modules/$module.ko"; fi || die "cannot unpack $module from $package"
    done
    rm -rf "${cache:?}/$package" && mv kernel "$cache/$package" || die "cannot put $package into $cache"
)

# Picks the kernel, fetching it where needed, and puts it in
# $control/kernel for this guest alone, so that pruning the cache later
# cannot take it away.
fetch_kernel() {
    local package kernel_dir newest dir error=$control/fetch.error
    mkdir -p "$cache"
    exec 8>"$cache/lock"
    flock 8
    # Fetches hold the lock, so any fetch folder now is one that never ended.
    rm -rf "$cache"/fetch.*
    package=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: //p' | head -n 1) || true
    if [[ -z $package ]]; then
        # No package lists: use a kernel fetched before, if any.
        kernel_dir=$(newest_cached) ||
            die "apt-cache does not know linux-image-amd64 and no kernel is cached in $cache: run 'apt-get update' as root (or 'sudo apt-get update'), then try again"
    else
        kernel_dir=$cache/$package
        if ! kernel_complete "$kernel_dir"; then
            echo "guest: fetching $package into $cache"
            if ! download_kernel "$package" 2>"$error"; then
                kernel_dir=$(newest_cached) || { cat "$error" >&2; rm -f "$error"; die "no kernel to boot"; }
                echo "guest: $(tail -n 1 "$error" | sed 's/^guest: //'); booting the cached ${kernel_dir##*/} instead" >&2
            fi
            rm -f "$error"
        fi
    fi
    newest=$(newest_cached) || true
    for dir in "$cache"/linux-image-*; do
        [[ ! -e $dir || $dir == "$kernel_dir" || $dir == "$newest" ]] || rm -rf "$dir"
    done
    mkdir -p "$control/kernel"
    ln "$kernel_dir/vmlinux" "$control/kernel/vmlinux" 2>/dev/null ||
        cp "$kernel_dir/vmlinux" "$control/kernel/vmlinux"
    cp -r "$kernel_dir/modules" "$control/kernel/modules"
    exec 8>&-
}

# The initramfs: busybox, the modules, init and the paths it needs.
make_initramfs() {
    local root=$control/initramfs
    rm -rf "$root"
    mkdir -p "$root/bin" "$root/modules"
    cp /bin/busybox "$root/bin/busybox"
    cp "$here/init" "$root/init"
    chmod 755 "$root/init"
    cp "$control"/kernel/modules/*.ko "$root/modules/"
    printf '%s\n' "${modules[@]}" >"$root/modules/order"
    printf 'source=%q\nbuild=%q\nsource_as=%q\nbuild_as=%q\ncontrol=%q\nagent=%q\n' \
        "$source_tree" "$build" "$source_as" "$build_as" "$control" "$here/agent.sh" >"$root/config"
    (cd "$root" && find . | busybox cpio -o -H newc 2>/dev/null) >"$control/initramfs.cpio"
    rm -rf "$root"
}

# The QEMU this process has launched, by process_id, while it is not up
# yet: an interrupted start kills it.
booting=
# The job this process's run waits for, and the heartbeat that tells the
# guest so.
job= heartbeat=
stop_at_exit=
busy_client=
on_exit() {
    [[ -z $booting ]] || kill_group "$booting"
    if [[ -n $heartbeat ]]; then
        kill "$heartbeat" 2>/dev/null || true
        wait "$heartbeat" 2>/dev/null || true
    fi
    if [[ -n $job && -d $job ]]; then
        if [[ -f $job/rc ]]; then rm -rf "$job"; else : >"$job/cancel"; fi
    fi
    [[ -z $stop_at_exit ]] || stop
}
trap on_exit EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 141' PIPE
trap 'exit 143' TERM

start() {
    if ! wine32_in_guest; then
        echo "guest: not needed, this host runs i386 code"
        return
    fi
    local tool
    for tool in qemu-system-x86_64 busybox apt-get apt-cache dpkg-deb xz flock; do
        command -v "$tool" >/dev/null || die "missing $tool: run scripts/bootstrap"
    done

    local asked=$SECONDS user= owner
    while :; do
        take_lock -x
        qemu_alive || break
        owner=
        read -r owner 2>/dev/null <"$control/owner" || true
        if [[ $owner == "$me" ]]; then
            drop_lock
            echo "guest: already up for this run"
            return
        fi
        if ! alive "$owner" && ! busy; then
            echo "guest: ending the guest that an earlier run left"
            end_guest
            break
        fi
        drop_lock
        if [[ -z $user ]]; then
            if alive "$owner"; then user="its owner ($(describe "$owner"))"
            else user="a job of $(describe "$busy_client")"; fi
            echo "guest: the guest of $build is in use by $user; waiting (up to $wait_limit s)"
        fi
        ((SECONDS - asked < wait_limit)) ||
            die "the guest of $build is still in use after $wait_limit s by $user; try again once that has ended"
        sleep 1
    done

    # The lock is held from here until the guest is up.
    rm -rf "$control"
    mkdir -p "$control/jobs"
    fetch_kernel
    make_initramfs

    local started=$SECONDS cpus id
    # One TCG thread per guest CPU; four let four tests run side by side.
    cpus=$(nproc)
    ((cpus <= 4)) || cpus=4
    # Read-only root, writable build tree; the -cpu features are off because
    # QEMU 7.2's TCG kills every 32-bit process with them on.
    setsid timeout -k 10 "$limit" qemu-system-x86_64 \
        -nodefaults -no-user-config -no-reboot -display none \
        -machine pc -accel tcg -cpu max,smap=off,la57=off -smp "$cpus" -m 8G \
        -kernel "$control/kernel/vmlinux" -initrd "$control/initramfs.cpio" \
        -append "console=ttyS0 quiet panic=-1 rdinit=/init" \
        -serial "file:$control/console.log" \
        -fsdev "local,id=hostroot,path=/,readonly=on,security_model=none,multidevs=remap" \
        -device virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot \
        -fsdev "local,id=source,path=$source_tree,readonly=on,security_model=none,multidevs=remap" \
        -device virtio-9p-pci,fsdev=source,mount_tag=source \
        -fsdev "local,id=build,path=$build,security_model=none,multidevs=remap" \
        -device virtio-9p-pci,fsdev=build,mount_tag=build \
        </dev/null >"$control/qemu.log" 2>&1 8>&- 9>&- &
    id=$(process_id $!) || id="$! 0"
    booting=$id
    echo "$id" >"$control/qemu.pid"

    # Watched by its process_id, not by qemu_alive: while setsid and timeout
    # are being executed, the command line qemu_alive checks is in flux.
    local failure=
    until [[ -f $control/ready ]]; do
        if ! alive "$id"; then
            failure="QEMU ended before the guest was up"
        elif ((SECONDS - started > boot_deadline)); then
            failure="the guest was not up within $boot_deadline s"
        fi
        if [[ -n $failure ]]; then
            kill_group "$id"
            booting=
            rm -f "$control/qemu.pid"
            show_logs
            die "$failure"
        fi
        sleep 0.2
    done
    echo "$me" >"$control/owner"
    booting=
    drop_lock
    echo "guest: up after $((SECONDS - started)) s ($(<"$control/ready"))"
}

stop() {
    local owner
    take_lock -x
    if ! qemu_alive; then
        rm -f "$control/qemu.pid" "$control/owner"
        drop_lock
        if wine32_in_guest; then echo "guest: no guest is running"
        else echo "guest: not needed, this host runs i386 code"; fi
        return 0
    fi
    owner=
    read -r owner 2>/dev/null <"$control/owner" || true
    if [[ $owner != "$me" ]] && alive "$owner"; then
        drop_lock
        echo "guest: left running: it belongs to $(describe "$owner")"
        return 0
    fi
    if busy; then
        drop_lock
        echo "guest: left running for a job of $(describe "$busy_client"); it ends itself five minutes after its last job"
        return 0
    fi
    end_guest
    drop_lock
    echo "guest: stopped"
}

run() {
    wine32_in_guest || exec "$@"
    local id staging rc
    take_lock -s
    qemu_alive || die "no guest is running for $build: start it first (vm.sh start)"
    id=$(date +%s%N).$$
    staging=$control/jobs/.$id
    mkdir "$staging"
    printf '%s\0' "$@" >"$staging/argv"
    pwd -P >"$staging/cwd"
    echo "$job_limit" >"$staging/limit"
    echo "$self" >"$staging/client"
    : >"$staging/out"
    : >"$staging/alive"
    mv "$staging" "$control/jobs/$id"
    job=$control/jobs/$id
    drop_lock

    # The guest cancels a job whose heartbeat stops; a child of its own
    # keeps it going while this process lives, whatever its output waits on.
    (
        trap - EXIT HUP INT PIPE TERM
        beat=0
        while alive "$self" && [[ -d $job ]]; do
            echo $((++beat)) >"$job/alive" || true
            sleep 1
        done
    ) </dev/null >/dev/null 2>&1 &
    heartbeat=$!

    # Stream the output from an open descriptor: each cat goes on from
    # where the last one stopped.
    exec 7<"$job/out"
    until [[ -f $job/rc ]]; do
        cat <&7
        if ! qemu_alive; then
            cat <&7
            show_logs
            die "the guest ended while running: $*"
        fi
        sleep 0.2
    done
    cat <&7
    exec 7<&-
    rc=$(<"$job/rc")
    return "$rc"
}

case $mode in
    start) start ;;
    stop) stop ;;
    run) run "$@" ;;
    exec)
        start
        stop_at_exit=1
        run "$@"
        ;;
esac
