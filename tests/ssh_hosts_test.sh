#!/usr/bin/env bash
# The recipe of wavchorus-hosts(1) over two real ssh hosts: an sshd on
# 127.0.0.1 and one on 127.0.0.2, each with its own user, key and home, so that
# every file travels there and back. Names with blanks, quotes and non-ASCII
# letters; outputs equal to a local run's; the hosts' homes left empty; then one
# host killed mid-run (its sshd and its sessions), its jobs done by the other.
# Needs root (for the users) and sshd; skips otherwise.
#   ssh_hosts_test.sh WAVCHORUS WAVCHORUS-HOSTS SAMPLE.wav WAVCHORUS-HOSTS.1
set -uo pipefail
# The whole test ends within a minute; a stop still cleans up (the EXIT trap).
[ -n "${SSH_HOSTS_TEST_BOUNDED-}" ] || SSH_HOSTS_TEST_BOUNDED=1 exec timeout 150 bash "$0" "$@"
trap 'exit 143' TERM
. "$(dirname "${BASH_SOURCE[0]}")/check.sh"
skip() { echo "SKIP: $*"; exit 77; }
cli=$(realpath "$1") hosts_script=$(realpath "$2") sample=$(realpath "$3") manual=$(realpath "$4")
sshd=$(command -v sshd || echo /usr/sbin/sshd)
[ "$(id -u)" -eq 0 ] || skip "not root: the hosts' test users cannot be made"
[ -x "$sshd" ] || skip "no sshd (Debian: openssh-server)"
for tool in ssh ssh-keygen rsync parallel useradd; do
  command -v $tool >/dev/null || skip "no $tool (scripts/deps.sh test installs it)"
done

work=$(mktemp -d) users=() pids=() made_run_sshd=""
declare -A sshd_pid
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  for u in "${users[@]}"; do
    for pid in $(ps -o pid= -u "$u" 2>/dev/null); do kill -9 "$pid" 2>/dev/null; done
    userdel "$u" 2>/dev/null
  done
  [ -z "$made_run_sshd" ] || rmdir /run/sshd 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
# The users reach their homes and the programs through the temporary directory.
chmod 711 "$work"
[ -d /run/sshd ] || { mkdir -m 755 /run/sshd && made_run_sshd=yes; }

# The programs, where the hosts' users can run them: wavchorus with the
# libraries it loads, as an install tree has them.
mkdir -m 755 "$work/bin"
cp "$cli" "$work/bin/" && cp "$hosts_script" "$work/bin/wavchorus-hosts"
ldd "$cli" | awk '/libMavrel/ { print $3 }' | xargs -I{} cp -L {} "$work/bin/"
chmod -R a+rX "$work/bin"
export PATH=$work/bin:$PATH LD_LIBRARY_PATH=$work/bin

port=$((20000 + RANDOM % 20000))
cat >"$work/ssh_config" <<EOF
Host *
  Port $port
  IdentitiesOnly yes
  UserKnownHostsFile $work/known_hosts
  StrictHostKeyChecking accept-new
  BatchMode yes
  ConnectTimeout 5
  LogLevel ERROR
EOF
# start_host NAME ADDRESS: a user with its home and key, and an sshd with its
# own host key for that user alone.
start_host() {
  local name=$1 address=$2 user=mvc-$1-$$
  local home=$work/home-$name
  useradd -M -d "$home" -s /bin/sh -p '*' "$user" || return 1
  users+=("$user")
  mkdir -p "$home/.ssh" && mkdir -m 755 "$work/$name-bin"
  ssh-keygen -q -t ed25519 -N '' -f "$work/$name-key" || return 1
  cp "$work/$name-key.pub" "$home/.ssh/authorized_keys"
  chown -R "$user:" "$home"
  chmod 700 "$home" "$home/.ssh"
  ssh-keygen -q -t ed25519 -N '' -f "$work/host-$name-key" || return 1
  cat >"$work/sshd-$name.conf" <<EOF
ListenAddress $address:$port
HostKey $work/host-$name-key
PidFile none
AllowUsers $user
AuthorizedKeysFile .ssh/authorized_keys
StrictModes yes
UsePAM no
PasswordAuthentication no
KbdInteractiveAuthentication no
MaxStartups 100
MaxSessions 100
SetEnv PATH=$work/$name-bin:$work/bin:/usr/bin:/bin LD_LIBRARY_PATH=$work/bin
EOF
  "$sshd" -D -e -f "$work/sshd-$name.conf" 2>>"$work/sshd-$name.log" &
  pids+=($!)
  sshd_pid[$name]=$!
  printf 'Host %s\n  HostName %s\n  User %s\n  IdentityFile %s\n' \
    "$name" "$address" "$user" "$work/$name-key" >>"$work/ssh_config"
}
{ start_host alpha 127.0.0.1 && start_host beta 127.0.0.2; } || skip "the hosts cannot be set up"
beta_user=mvc-beta-$$
export PARALLEL_SSH="ssh -F $work/ssh_config"
for h in alpha beta; do
  for _ in $(seq 50); do
    $PARALLEL_SSH $h true 2>/dev/null && break
    sleep 0.1
  done
  $PARALLEL_SSH $h 'wavchorus --version' >/dev/null 2>&1 ||
    skip "sshd does not run here: $(tail -3 "$work/sshd-$h.log")"
done

cd "$work" || exit 1
mkdir -p "archive/2025 sessions" expected
names=("take 3" "prise_é_1" "it's mine" 'say "hi"' "chœur ♪ 2" "2025 sessions/Ünïcode take" plain)
for n in "${names[@]}"; do
  sox "$sample" -c 1 -r 8000 "archive/$n.wav" trim 0 0.5
  wavchorus -q "archive/$n.wav" "expected/${n##*/}.wav" || exit 1
done
# all_back DIR: every file's output beside it, equal to the local run's.
all_back() {
  local n
  for n in "${names[@]}"; do
    cmp -s "$1/$n.chorus.wav" "expected/${n##*/}.wav" || { echo "not back: $1/$n.chorus.wav"; return 1; }
  done
}
home_empty() { [ -z "$(find "$work/home-$1" -mindepth 1 ! -path "$work/home-$1/.ssh*")" ]; }

# The man page's first example, as it stands (alpha and beta are the two hosts).
recipe=$(awk '/^\.SH EXAMPLES/ { s = 1; next } s && /^\.EX/ { e = 1; next } e && /^\.EE/ { exit }
  e { print }' "$manual" | sed 's/\\-/-/g; s/\\(aq/'"'"'/g')
check "the man page has the recipe" grep -q wavchorus-hosts <<<"$recipe"
timeout 60 bash -c "$recipe" 2>recipe.err
check "the recipe succeeds" [ $? -eq 0 ]
check "every output of the recipe came back, equal to a local run's" all_back archive
check "the job log names both hosts" grep -qP '\talpha\t.*\tbeta\t|\tbeta\t.*\talpha\t' <(tr '\n' '\t' <chorus.log)
check "nothing left in alpha's home" home_empty alpha
check "nothing left in beta's home" home_empty beta
check "the recipe is quiet" [ ! -s recipe.err ]

# A lost output is noticed, and run again by --resume-failed: a wavchorus on
# beta that ends well and writes nothing, as when a --return fails.
mkdir lost && cp archive/plain.wav lost/
printf '#!/bin/sh\nexit 0\n' >"$work/beta-bin/wavchorus" && chmod 755 "$work/beta-bin/wavchorus"
timeout 30 wavchorus-hosts --joblog=lost.log 1/beta lost/plain.wav 2>lost.err
check "a lost output fails the run" [ $? -eq 1 ]
check "the lost output is named" grep -qF '"lost/plain.chorus.wav" did not come back from beta' lost.err
rm "$work/beta-bin/wavchorus"
timeout 30 wavchorus-hosts --joblog=lost.log --resume-failed 1/beta lost/plain.wav
check "--resume-failed runs the lost one again" cmp -s lost/plain.chorus.wav expected/plain.wav

# Beta killed, with its sessions, as it runs a job: alpha does that one and the
# rest. A wavchorus on beta that takes its time holds the job there until then.
mkdir killed && cp -r archive/. killed/ && find killed -name '*.chorus.wav' -delete
printf '#!/bin/sh\nsleep 30\nexec %s "$@"\n' "$work/bin/wavchorus" >"$work/beta-bin/wavchorus"
chmod 755 "$work/beta-bin/wavchorus"
find killed -name '*.wav' -print0 | timeout 60 wavchorus-hosts 4/alpha,1/beta 2>killed.err &
run=$!
for _ in $(seq 200); do
  pgrep -u "$beta_user" -x sleep >/dev/null && break
  sleep 0.1
done
check "beta runs a job as it is killed" [ -n "$(pgrep -u "$beta_user" -x sleep)" ]
sshd_beta=${sshd_pid[beta]}
# shellcheck disable=SC2046
kill -9 "$sshd_beta" $(pgrep -P "$sshd_beta") $(pgrep -u "$beta_user")
{ wait "$sshd_beta"; } 2>/dev/null
wait $run
check "the run with beta killed succeeds" [ $? -eq 0 ]
check "every output came back with beta killed" all_back killed
check "nothing left in alpha's home after beta was killed" home_empty alpha
checks_done
