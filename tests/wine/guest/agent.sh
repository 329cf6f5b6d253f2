#!/bin/bash
# agent.sh <control dir>
# Runs as the guest's first process once its root is in place. Takes the
# jobs that vm.sh puts in <control dir>/jobs, runs each in the background
# and leaves its output and exit status beside it. A job is cancelled when
# the host asks, when its heartbeat (a count its run on the host rewrites
# each second) has not changed for 30 s, or after its time limit. Ends the
# guest when told to stop, or after five minutes without a job.
control=$1
jobs_dir=$control/jobs
idle_limit=300
beat_limit=30

say() { echo "vorquin guest: $*" >/dev/console; }

finish() {
    say "$*"
    sync
    echo b >/proc/sysrq-trigger
    sleep 60
}

# write_whole <file> <text>: the file appears with all its text or not at all.
write_whole() {
    echo "$2" >"$1.new"
    mv "$1.new" "$1"
}

# run_job <job dir>: argv (NUL-separated), cwd and limit in; out (appended
# to), pid and rc out.
run_job() {
    local job=$1 rc=0 pid limit started=$SECONDS
    local -a argv
    mapfile -d '' argv <"$job/argv"
    limit=$(cat "$job/limit" 2>/dev/null)
    [[ $limit =~ ^[0-9]+$ ]] || limit=900
    if ! cd "$(<"$job/cwd")" 2>/dev/null; then
        echo "guest: the folder $(<"$job/cwd") is not in the guest" >>"$job/out"
        rc=125
    else
        say "job ${job##*/}: ${argv[*]}"
        setsid timeout -k 10 "$limit" "${argv[@]}" >>"$job/out" 2>&1 </dev/null &
        pid=$!
        write_whole "$job/pid" "$pid"
        wait "$pid" || rc=$?
        say "job ${job##*/}: exit $rc after $((SECONDS - started)) s"
        if ((SECONDS - started >= limit && (rc == 124 || rc == 137))); then
            echo "guest: the job was stopped at its limit of $limit s (VORQUIN_GUEST_JOB_LIMIT)" >>"$job/out"
        fi
    fi
    write_whole "$job/rc" "$rc"
}

# cancel_job <job dir> <why>: SIGTERM to the job's process group, so its
# clean-up runs, and SIGKILL 10 s later unless it has ended by then.
cancel_job() {
    local job=$1 pid
    [[ -f $job/pid ]] || return 0
    pid=$(<"$job/pid")
    : >"$job/cancelled"
    say "cancelling ${job##*/}: $2"
    kill -TERM -- "-$pid" 2>/dev/null
    (sleep 10; [[ -e $job/rc ]] || kill -KILL -- "-$pid" 2>/dev/null) &
}

mkdir -p "$jobs_dir"
write_whole "$control/ready" \
    "$(uname -r), $(nproc) CPUs, $(awk '/MemTotal/ { print int($2 / 1024) " MiB" }' /proc/meminfo)"
say "taking jobs ($(<"$control/ready"))"

# Per job: the heartbeat's last count, and when it last changed.
declare -A beat beat_changed
last_job=$SECONDS
while [[ ! -e $control/stop ]]; do
    for job in "$jobs_dir"/*/; do
        job=${job%/}
        [[ -f $job/argv ]] || continue
        if [[ -e $job/rc ]]; then
            unset 'beat[$job]' 'beat_changed[$job]'
            continue
        fi
        last_job=$SECONDS
        if [[ ! -e $job/taken ]]; then
            : >"$job/taken"
            beat[$job]=
            beat_changed[$job]=$SECONDS
            run_job "$job" &
            continue
        fi
        [[ ! -e $job/cancelled ]] || continue
        if [[ -e $job/cancel ]]; then
            cancel_job "$job" "the host cancelled it"
            continue
        fi
        stamp=
        read -r stamp 2>/dev/null <"$job/alive"
        if [[ $stamp != "${beat[$job]-}" ]]; then
            beat[$job]=$stamp
            beat_changed[$job]=$SECONDS
        elif ((SECONDS - ${beat_changed[$job]:-$SECONDS} > beat_limit)); then
            cancel_job "$job" "its run on the host has gone (no heartbeat for $beat_limit s)"
        fi
    done
    ((SECONDS - last_job < idle_limit)) || finish "no job for $idle_limit s, stopping"
    sleep 0.2
done
finish "stopping"
