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
# in it (the output streams back, the exit status is the command's); stop
# ends the guest; exec is start, run and stop in one. Where the host runs
# i386 code itself, start and stop do nothing and run runs the command
# here. In the guest a job is killed after 15 minutes, the guest ends
# itself after five minutes without a job, and QEMU is killed after
# VORQUIN_GUEST_LIMIT seconds (default 3600) in any case.
# The kernel is fetched once with apt-get download into
# ${XDG_CACHE_HOME:-~/.cache}/vorquin/guest.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
source_tree=$(cd "$here/../../.." && pwd)
usage() {
    sed -n '2,5p' "$0" | sed 's/^# /usage: /' >&2
    exit 2
}
(($# >= 2)) || usage
mode=$1
[[ -d $2 ]] || { echo "no build tree at $2" >&2; exit 2; }
build=$(cd "$2" && pwd)
shift 2
case $mode in
    start | stop) (($# == 0)) || usage ;;
    run | exec) (($# >= 1)) || usage ;;
    *) usage ;;
esac

control=$build/guest
cache=${XDG_CACHE_HOME:-${HOME:-$build}/.cache}/vorquin/guest
limit=${VORQUIN_GUEST_LIMIT:-3600}
boot_deadline=300
# Modules for virtio-9p, the virtio console and the overlay root, in the
# order they must be loaded.
modules=(virtio_ring virtio virtio_pci_modern_dev virtio_pci_legacy_dev virtio_pci virtio_console
         netfs fscache 9pnet 9pnet_virtio 9p overlay)

source "$here/../wine-flavour.sh"

die() { echo "guest: $*" >&2; exit 1; }

qemu_alive() { [[ -f $control/qemu.pid ]] && kill -0 "$(<"$control/qemu.pid")" 2>/dev/null; }

# Debian's amd64 kernel, unpacked once: sets kernel_dir to a folder with
# vmlinux (the uncompressed image, which QEMU boots through PVH) and
# modules/*.ko.
fetch_kernel() {
    local package
    package=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: //p' | head -n 1) || true
    if [[ -z $package ]]; then
        # No package lists: use a kernel fetched before, if any.
        kernel_dir=$(find "$cache" -mindepth 2 -maxdepth 2 -name vmlinux -printf '%h\n' 2>/dev/null | sort -V | tail -n 1)
        [[ -n $kernel_dir ]] ||
            die "apt-cache does not know linux-image-amd64; run 'apt-get update' (scripts/bootstrap does)"
        return
    fi
    kernel_dir=$cache/$package
    [[ -f $kernel_dir/vmlinux ]] && return
    mkdir -p "$cache"
    exec 8>"$cache/lock"
    flock 8
    if [[ ! -f $kernel_dir/vmlinux ]]; then
        echo "guest: fetching $package into $cache (once)"
        local work
        work=$(mktemp -d "$cache/fetch.XXXXXX")
        (cd "$work" && apt-get download "$package" >download.log 2>&1) ||
            { cat "$work/download.log" >&2; rm -rf "$work"; die "cannot download $package"; }
        dpkg-deb -x "$work"/*.deb "$work/root"
        local vmlinuz offset module file
        vmlinuz=$(find "$work/root/boot" -name 'vmlinuz-*' | head -n 1)
        [[ -n $vmlinuz ]] || die "no vmlinuz in $package"
        # The image is a bzImage with an xz payload; QEMU boots the ELF in it.
        offset=$(LC_ALL=C grep -abo -m 1 $'\xfd7zXZ' "$vmlinuz" | head -n 1 | cut -d: -f1) ||
            die "no xz payload in $vmlinuz"
        tail -c +$((offset + 1)) "$vmlinuz" | xz -dcq >"$work/vmlinux" 2>/dev/null || true
        [[ $(head -c 4 "$work/vmlinux" | od -An -tx1 | tr -d ' ') == 7f454c46 ]] ||
            die "cannot unpack the kernel image of $package"
        mkdir -p "$work/modules"
        for module in "${modules[@]}"; do
            file=$(find "$work/root/lib/modules" \( -name "$module.ko" -o -name "$module.ko.xz" \) | head -n 1)
            [[ -n $file ]] || die "$package has no module $module"
            if [[ $file == *.xz ]]; then xz -dc "$file" >"$work/modules/$module.ko"
            else cp "$file" "$work/modules/$module.ko"; fi
        done
        rm -rf "$kernel_dir"
        mkdir -p "$kernel_dir"
        mv "$work/vmlinux" "$work/modules" "$kernel_dir/"
        rm -rf "$work"
    fi
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
    cp "$kernel_dir"/modules/*.ko "$root/modules/"
    printf '%s\n' "${modules[@]}" >"$root/modules/order"
    printf 'source=%q\nbuild=%q\ncontrol=%q\nagent=%q\n' "$source_tree" "$build" "$control" "$here/agent.sh" \
        >"$root/config"
    (cd "$root" && find . | busybox cpio -o -H newc 2>/dev/null) >"$control/initramfs.cpio"
    rm -rf "$root"
}

start() {
    if ! wine32_in_guest; then
        echo "guest: not needed, this host runs i386 code"
        return
    fi
    if qemu_alive; then
        echo "guest: ending the guest that an earlier run left"
        stop
    fi
    local tool
    for tool in qemu-system-x86_64 busybox apt-get dpkg-deb xz flock; do
        command -v "$tool" >/dev/null || die "missing $tool: run scripts/bootstrap"
    done
    fetch_kernel
    rm -rf "$control"
    mkdir -p "$control/jobs"
    make_initramfs

    local started=$SECONDS cpus
    # One TCG thread per guest CPU; four let four tests run side by side.
    cpus=$(nproc)
    ((cpus <= 4)) || cpus=4
    # Read-only root, writable build tree; the -cpu features are off because
    # QEMU 7.2's TCG kills every 32-bit process with them on.
    setsid timeout -k 10 "$limit" qemu-system-x86_64 \
        -nodefaults -no-user-config -no-reboot -display none \
        -machine pc -accel tcg -cpu max,smap=off,la57=off -smp "$cpus" -m 8G \
        -kernel "$kernel_dir/vmlinux" -initrd "$control/initramfs.cpio" \
        -append "console=ttyS0 quiet panic=-1 rdinit=/init" \
        -serial "file:$control/console.log" \
        -fsdev "local,id=hostroot,path=/,readonly=on,security_model=none,multidevs=remap" \
        -device virtio-9p-pci,fsdev=hostroot,mount_tag=hostroot \
        -fsdev "local,id=source,path=$source_tree,readonly=on,security_model=none,multidevs=remap" \
        -device virtio-9p-pci,fsdev=source,mount_tag=source \
        -fsdev "local,id=build,path=$build,security_model=none,multidevs=remap" \
        -device virtio-9p-pci,fsdev=build,mount_tag=build \
        </dev/null >"$control/qemu.log" 2>&1 &
    echo $! >"$control/qemu.pid"

    local failure=
    until [[ -f $control/ready ]]; do
        if ! qemu_alive; then
            failure="QEMU ended before the guest was up"
        elif ((SECONDS - started > boot_deadline)); then
            failure="the guest was not up within $boot_deadline s"
        fi
        if [[ -n $failure ]]; then
            kill -KILL -- "-$(<"$control/qemu.pid")" 2>/dev/null || true
            stop_qemu
            echo "--- QEMU" >&2
            tail -n 20 "$control/qemu.log" >&2 || true
            echo "--- guest console" >&2
            tail -n 40 "$control/console.log" >&2 || true
            die "$failure"
        fi
        sleep 0.2
    done
    echo "guest: up after $((SECONDS - started)) s ($(<"$control/ready"))"
}

stop_qemu() {
    local pid waited=0
    [[ -f $control/qemu.pid ]] || return 0
    pid=$(<"$control/qemu.pid")
    while kill -0 "$pid" 2>/dev/null && ((waited < 600)); do
        sleep 0.1
        waited=$((waited + 1))
    done
    if kill -0 "$pid" 2>/dev/null; then
        echo "guest: QEMU did not end within 60 s, killing it" >&2
        kill -KILL -- "-$pid" 2>/dev/null || kill -KILL "$pid" 2>/dev/null || true
    fi
    rm -f "$control/qemu.pid"
}

stop() {
    if [[ ! -f $control/qemu.pid ]]; then
        wine32_in_guest || echo "guest: not needed, this host runs i386 code"
        return 0
    fi
    : >"$control/stop"
    stop_qemu
    echo "guest: stopped"
}

run() {
    wine32_in_guest || exec "$@"
    qemu_alive || die "no guest is running for $build: start it first (vm.sh start)"
    local id job offset=0 size rc
    id=$(date +%s%N).$$
    mkdir "$control/jobs/.$id"
    printf '%s\0' "$@" >"$control/jobs/.$id/argv"
    pwd >"$control/jobs/.$id/cwd"
    mv "$control/jobs/.$id" "$control/jobs/$id"
    job=$control/jobs/$id
    trap ': >"$job/cancel"; exit 143' TERM HUP
    trap ': >"$job/cancel"; exit 130' INT
    # Stream the output while the job runs.
    while [[ ! -f $job/rc ]]; do
        qemu_alive || die "the guest ended while running: $*"
        if [[ -f $job/out ]]; then
            size=$(stat -c %s "$job/out")
            if ((size > offset)); then
                tail -c +$((offset + 1)) "$job/out" | head -c $((size - offset))
                offset=$size
            fi
        fi
        sleep 0.2
    done
    [[ -f $job/out ]] && tail -c +$((offset + 1)) "$job/out"
    rc=$(<"$job/rc")
    rm -rf "$job"
    return "$rc"
}

case $mode in
    start) start ;;
    stop) stop ;;
    run) run "$@" ;;
    exec)
        start
        trap stop EXIT
        run "$@"
        ;;
esac
