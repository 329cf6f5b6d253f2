#!/bin/bash
# agent.sh <control dir>
# Runs as the guest's first process once its root is in place. Takes the
# jobs that vm.sh puts in <control dir>/jobs, runs each in the background
# and leaves its output and exit status beside it; ends the guest when
# told to stop, or after five minutes without a job.
control=$1
jobs_dir=$control/jobs
idle_limit=300
job_limit=900

finish() {
    echo "vorquin guest: $*" >/dev/console
    sync
    echo b >/proc/sysrq-trigger
    sleep 60
}

# run_job <job dir>: argv (NUL-separated) and cwd in; out, pid and rc out.
run_job() {
    local job=$1 rc=0 pid
    local -a argv
    mapfile -d '' argv <"$job/argv"
    if ! cd "$(<"$job/cwd")"; then
        echo "guest: the folder $(<"$job/cwd") is not in the guest" >"$job/out"
        rc=125
    else
        setsid timeout -k 10 "$job_limit" "${argv[@]}" >"$job/out" 2>&1 </dev/null &
        pid=$!
        echo "$pid" >"$job/pid"
        wait "$pid" || rc=$?
    fi
    echo "$rc" >"$job/rc.new"
    mv "$job/rc.new" "$job/rc"
}

# A cancelled job gets SIGTERM, so its clean-up runs, and SIGKILL 10 s later.
cancel_job() {
    local job=$1 pid
    pid=$(<"$job/pid") || return
    : >"$job/cancelled"
    kill -TERM -- "-$pid" 2>/dev/null
    (sleep 10; kill -KILL -- "-$pid" 2>/dev/null) &
}

mkdir -p "$jobs_dir"
echo "$(uname -r), $(nproc) CPUs, $(awk '/MemTotal/ { print int($2 / 1024) " MiB" }' /proc/meminfo)" \
    >"$control/ready.new"
mv "$control/ready.new" "$control/ready"

last_job=$SECONDS
while [[ ! -e $control/stop ]]; do
    for job in "$jobs_dir"/*/; do
        job=${job%/}
        [[ -f $job/argv ]] || continue
        if [[ ! -e $job/taken ]]; then
            : >"$job/taken"
            run_job "$job" &
        elif [[ -e $job/cancel && -f $job/pid && ! -e $job/cancelled && ! -e $job/rc ]]; then
            cancel_job "$job"
        fi
        [[ -e $job/rc ]] || last_job=$SECONDS
    done
    ((SECONDS - last_job < idle_limit)) || finish "no job for $idle_limit s, stopping"
    sleep 0.2
done
finish "stopping"
