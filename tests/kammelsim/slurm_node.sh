# A single-node Slurm for tests, from a folder of its own: munged, slurmctld and slurmd started
# in the foreground of this shell's background jobs, on free ports, and stopped by their PIDs.
# Needs root (slurmd runs jobs as their users) and no systemd. Source it, then:
#
#   slurm_node_start DIR [MAX_ARRAY_SIZE]   starts it; exports SLURM_CONF; status 1 and the
#                                           daemons' logs on stderr when it does not come up
#   slurm_node_stop                         cancels every job, stops the daemons, and ends any
#                                           process left that they or the test's jobs started
#
# Every process it starts carries KAMMEL_SLURM_NODE=DIR in its environment; so do the jobs
# submitted with slurm_node_env, which is how what the daemons leave behind is found again.

slurm_node_dir="" slurm_node_pids=()

# Waits up to $1 seconds for the command in $2 to succeed.
slurm_node_await() {
  local until=$((SECONDS + $1))
  while ! eval "$2" >/dev/null 2>&1; do
    ((SECONDS < until)) || return 1
    sleep 0.1
  done
}

# Two TCP ports nothing listens on now.
slurm_node_ports() {
  python3 -c '
import socket
held = [socket.socket() for _ in range(2)]
for s in held:
    s.bind(("127.0.0.1", 0))
print(*(s.getsockname()[1] for s in held))'
}

slurm_node_env() { env KAMMEL_SLURM_NODE="$slurm_node_dir" "$@"; }

slurm_node_logs() {
  local log
  for log in "$slurm_node_dir"/log/*; do
    echo "--- $log" >&2
    tail -n 20 "$log" >&2
  done
}

slurm_node_write_conf() {
  local dir=$1 max=$2 ctld_port=$3 node_port=$4
  cat >"$dir/slurm.conf" <<EOF
ClusterName=kammeltest
SlurmctldHost=$(hostname -s)(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$node_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$dir/run/munge.socket
CredType=cred/munge
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/run/slurmctld.pid
SlurmdPidFile=$dir/run/slurmd.pid
SlurmctldLogFile=$dir/log/slurmctld.log
SlurmdLogFile=$dir/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerType=sched/builtin
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
MailProg=/bin/true
ReturnToService=2
MaxArraySize=$max
NodeName=kammelnode NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=kammel Nodes=kammelnode Default=YES MaxTime=INFINITE State=UP
EOF
}

slurm_node_start() {
  local dir=$1 max=${2:-1001} ports attempt
  slurm_node_dir=$dir
  # munged wants its socket's folders searchable by all and its key readable by it alone.
  mkdir -p "$dir"/{key,run,state,spool,log} && chmod 755 "$dir" "$dir/run" && chmod 700 "$dir/key" ||
    return 1
  dd if=/dev/urandom of="$dir/key/munge.key" bs=1024 count=1 status=none && chmod 600 "$dir/key/munge.key"
  # Started as simple commands, so that $! is the daemon itself, not a shell around it.
  KAMMEL_SLURM_NODE=$dir munged --foreground --key-file="$dir/key/munge.key" --socket="$dir/run/munge.socket" \
    --pid-file="$dir/run/munged.pid" --seed-file="$dir/key/munged.seed" \
    --log-file="$dir/log/munged.log" >>"$dir/log/munged.out" 2>&1 &
  slurm_node_pids+=($!)
  slurm_node_await 20 "[ -S '$dir/run/munge.socket' ]" || { slurm_node_logs; return 1; }
  export SLURM_CONF=$dir/slurm.conf
  # Free ports may be taken between asking and binding: another pair then.
  for attempt in 1 2 3; do
    ports=$(slurm_node_ports) || return 1
    slurm_node_write_conf "$dir" "$max" $ports
    KAMMEL_SLURM_NODE=$dir slurmctld -D -i >>"$dir/log/slurmctld.out" 2>&1 &
    local ctld=$!
    if slurm_node_await 30 "! kill -0 $ctld || scontrol ping | grep -q UP" && kill -0 "$ctld" 2>/dev/null; then
      slurm_node_pids+=("$ctld")
      break
    fi
    kill "$ctld" 2>/dev/null
    wait "$ctld" 2>/dev/null
    ((attempt < 3)) || { echo "slurmctld did not come up" >&2; slurm_node_logs; return 1; }
  done
  KAMMEL_SLURM_NODE=$dir slurmd -D -N kammelnode >>"$dir/log/slurmd.out" 2>&1 &
  slurm_node_pids+=($!)
  slurm_node_await 60 "sinfo -h -n kammelnode -o %T | grep -qx idle" ||
    { echo "the node did not become idle" >&2; slurm_node_logs; return 1; }
}

# The PIDs of processes carrying this node's mark: what the daemons and its jobs started.
slurm_node_marked() {
  local environ pid
  for environ in /proc/[0-9]*/environ; do
    pid=${environ#/proc/}
    pid=${pid%/environ}
    [[ $pid != "$$" && $pid != "$BASHPID" ]] || continue
    { tr '\0' '\n' <"$environ"; } 2>/dev/null | grep -qxF "KAMMEL_SLURM_NODE=$slurm_node_dir" && echo "$pid"
  done
}

# Stops a process and waits up to 15 seconds for it, then kills it.
slurm_node_end() {
  kill -TERM "$1" 2>/dev/null || return 0
  slurm_node_await 15 "! kill -0 $1" || kill -KILL "$1" 2>/dev/null
  wait "$1" 2>/dev/null || true
}

slurm_node_stop() {
  [[ -n "$slurm_node_dir" ]] || return 0
  local pid i left queued
  if ((${#slurm_node_pids[@]} >= 2)); then
    scancel --user="$(id -un)" 2>/dev/null
    slurm_node_await 30 'queued=$(squeue -h -o %i) && [ -z "$queued" ]'
  fi
  for ((i = ${#slurm_node_pids[@]} - 1; i >= 0; i--)); do slurm_node_end "${slurm_node_pids[i]}"; done
  slurm_node_pids=()
  # slurmstepd detaches from slurmd; whatever it or a job left is found by the mark.
  for pid in $(slurm_node_marked); do kill -KILL "$pid" 2>/dev/null; done
  slurm_node_await 15 '[ -z "$(slurm_node_marked)" ]'
  left=$(slurm_node_marked)
  [[ -z "$left" ]] || echo "slurm_node_stop: processes $left would not end" >&2
  slurm_node_dir=""
  [[ -z "$left" ]]
}
