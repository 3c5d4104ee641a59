#!/bin/sh
# A one-node Slurm cluster for the farm tests, in folder DIR (which must
# exist), started as root inside a private network and process namespace:
#   timeout -s KILL SECONDS unshare --net --pid --fork --mount-proc --kill-child \
#     sh slurm_one_node.sh DIR
# Writes DIR/slurm.conf and, once the node is idle, DIR/ready; then waits,
# so that the cluster lives as long as the namespace. Everything (daemons,
# jobs, their steps) ends with the namespace, and every file is under DIR.
# Clients reach it from the namespace (nsenter --net) with SLURM_CONF.
set -eu
dir=$1
cd "$dir"
# Slurm looks its addresses up as IPv4 with AI_ADDRCONFIG, which finds
# nothing while loopback's 127.0.0.1 is the only IPv4 address.
ip link set lo up
ip addr add 127.0.0.2/8 dev lo
mkdir -p munge/key munge/run state spool log
chmod 0700 munge/key
chmod 0755 munge munge/run "$dir"
mungekey -c -k munge/key/munge.key
munged -S "$dir/munge/run/socket" --key-file="$dir/munge/key/munge.key" \
  --pid-file="$dir/munge/run/munged.pid" --log-file="$dir/log/munged.log" \
  --seed-file="$dir/munge/run/seed"
user=$(id -un)
node=$(slurmd -C | head -1)
cat > slurm.conf <<CONF
ClusterName=prismora
SlurmctldHost=localhost(127.0.0.1)
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$dir/munge/run/socket,cred_expire=5
SlurmUser=$user
SlurmdUser=$user
ProctrackType=proctrack/pgid
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
MpiDefault=none
MailProg=/bin/true
CommunicationParameters=NoCtldInAddrAny,NoInAddrAny
ReturnToService=2
KillWait=2
SchedulerParameters=batch_sched_delay=0,bf_interval=1,sched_interval=2
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/log/slurmctld.log
SlurmdLogFile=$dir/log/slurmd.log
$node NodeAddr=127.0.0.1
PartitionName=main Nodes=ALL Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF="$dir/slurm.conf"
slurmctld -f "$SLURM_CONF"
slurmd -f "$SLURM_CONF"
i=0
until [ "$(timeout 5 sinfo -h -o %T 2>/dev/null)" = idle ]; do
  i=$((i + 1))
  if [ $i -gt 150 ]; then
    echo "slurm_one_node: the node did not become idle" >&2
    exit 1
  fi
  sleep 0.2
done
touch ready
# The namespace's first process takes in every orphan: it must reap them,
# or a step whose script ended first would wait for its zombie for ever.
exec perl -e 'while (1) { sleep 1 if wait() < 0 }'

