#!/bin/bash
# A single-node Slurm cluster on loopback, started here: munged with a key
# made for the test, slurmctld and slurmd in the foreground with their own
# configuration, ports, state and spool folders. An array of four tasks runs
# `vettrix check --shard auto`; the merged reports equal one unsharded run.
# Usage: slurm_test.sh VETTRIX PYTHON
set -euo pipefail
VETTRIX=$1
PYTHON=$2
. "$(dirname "$0")/scheduler_common.sh"
for tool in munged mungekey; do need "$tool" munge; done
need slurmctld slurmctld
need slurmd slurmd
for tool in sbatch scontrol sinfo; do need "$tool" slurm-client; done

# Free loopback ports for the controller and the node daemon.
read -r CTLD_PORT SLURMD_PORT < <("$PYTHON" -c '
import socket
socks = [socket.socket() for _ in range(2)]
for s in socks: s.bind(("127.0.0.1", 0))
print(*[s.getsockname()[1] for s in socks])
')

mkdir -p "$WORK/munge" "$WORK/state" "$WORK/spool"
chmod 700 "$WORK/munge"
mungekey --create --keyfile="$WORK/munge/munge.key" >/dev/null 2>&1 ||
  fail "mungekey could not make a key"
chmod 400 "$WORK/munge/munge.key"
MUNGE_SOCKET="$WORK/munge/munge.socket"
munged -F -f --key-file="$WORK/munge/munge.key" --socket="$MUNGE_SOCKET" \
  --pid-file="$WORK/munge/munged.pid" --seed-file="$WORK/munge/munged.seed" \
  --log-file="$WORK/munged.log" >"$WORK/munged.out.log" 2>&1 &
PIDS+=($!)
for _ in $(seq 100); do [ -S "$MUNGE_SOCKET" ] && break; sleep 0.1; done
[ -S "$MUNGE_SOCKET" ] || fail "munged did not open its socket"

USER_NAME=$(id -un)
CPUS=$(nproc)
export SLURM_CONF="$WORK/slurm.conf"
cat >"$SLURM_CONF" <<CONF
ClusterName=vettrixtest
SlurmctldHost=localhost(127.0.0.1)
SlurmctldPort=$CTLD_PORT
SlurmdPort=$SLURMD_PORT
SlurmUser=$USER_NAME
SlurmdUser=$USER_NAME
AuthType=auth/munge
AuthInfo=socket=$MUNGE_SOCKET
CredType=cred/munge
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerType=sched/backfill
MpiDefault=none
ReturnToService=2
StateSaveLocation=$WORK/state
SlurmdSpoolDir=$WORK/spool
SlurmctldPidFile=$WORK/slurmctld.pid
SlurmdPidFile=$WORK/slurmd.pid
SlurmctldLogFile=$WORK/slurmctld.log
SlurmdLogFile=$WORK/slurmd.log
NodeName=localhost NodeAddr=127.0.0.1 CPUs=$CPUS State=UNKNOWN
PartitionName=test Nodes=localhost Default=YES MaxTime=INFINITE State=UP
CONF

slurmctld -D -i -f "$SLURM_CONF" >>"$WORK/slurmctld.log" 2>&1 &
PIDS+=($!)
slurmd -D -N localhost -f "$SLURM_CONF" >>"$WORK/slurmd.log" 2>&1 &
PIDS+=($!)
up=""
for _ in $(seq 200); do
  if sinfo -h -o '%T' 2>/dev/null | grep -qE '^(idle|mixed|allocated)'; then
    up=yes
    break
  fi
  sleep 0.1
done
[ -n "$up" ] || fail "the Slurm node did not come up: $(sinfo 2>&1 | tail -n 3)"

cat >"$WORK/task.sh" <<TASK
#!/bin/sh
# vettrix's status 1 (something found) is a success for the task.
"$VETTRIX" check -q --shard auto -l list.txt --json -o out.\$SLURM_ARRAY_TASK_ID.jsonl
[ \$? -le 1 ]
TASK
chmod +x "$WORK/task.sh"
sbatch --wait --quiet --array=1-4 --chdir="$WORK" --output="$WORK/task.%a.log" \
  --time=2 "$WORK/task.sh" || fail "the array job failed: $(cat "$WORK"/task.*.log 2>/dev/null)"
merge_and_compare
echo "slurm: a 4-task array merged equals the unsharded run"
