#!/bin/bash
# Three brisel-cutout runs of 10 photos each against one local service, then one run
# whose service is killed with SIGKILL after its first photo. Prints whether every
# photo was written, how many services ran and the service's resident memory.
#
# Usage: tools/load/shared-service.sh [BIN_DIR]   (default build/bin)
# Env:   PORT (47690), ENGINE (auto: isnet when the model is there), IDLE (seconds
#        of idle exit, 20), PHOTO (tests/data/astronaut.png)
# Runs in a throw-away home, so the user's own service and settings are untouched.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=$(cd "${1:-$root/build/bin}" && pwd)
port=${PORT:-47690}
idle=${IDLE:-20}
photo=${PHOTO:-$root/tests/data/astronaut.png}
export BRISEL_MODEL_DIR=${BRISEL_MODEL_DIR:-$HOME/.cache/brisel/models}

sandbox=$(mktemp -d /tmp/brisel-load-XXXXXX)
export HOME=$sandbox XDG_CONFIG_HOME=$sandbox/.config XDG_CACHE_HOME=$sandbox/.cache \
    XDG_DATA_HOME=$sandbox/.local/share XDG_RUNTIME_DIR=$sandbox/run
mkdir -p "$XDG_CONFIG_HOME/brisel" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
# A service that does not know --idle-exit yet would refuse to start with it.
"$bin/brisel-matting-service" --help 2>&1 | grep -q -- --idle-exit || idle=0
printf '[service]\nport=%s\nidleExit=%s\noptions=--engine %s\n' "$port" "$idle" "${ENGINE:-auto}" \
    >"$XDG_CONFIG_HOME/brisel/brisel.ini"
log=$XDG_CACHE_HOME/brisel/matting-service.log
pidfile=$XDG_RUNTIME_DIR/brisel-matting-$port.pid

photos() { # photos PREFIX: 10 copies, each its own cache entry
    mkdir -p "$sandbox/$1"
    for i in $(seq 1 10); do cp "$photo" "$sandbox/$1/$1-$i.png"; echo "$sandbox/$1/$1-$i.png"; done
}
starts() { grep -c '=== started by' "$log" 2>/dev/null || echo 0; }
rss() { awk '/VmRSS/ {print $2 " kB"}' "/proc/$1/status" 2>/dev/null || echo "gone"; }
written() { ls "$sandbox/$1/out"/*.png 2>/dev/null | wc -l; }

echo "== 3 clients x 10 photos, one service (engine ${ENGINE:-auto}, port $port)"
began=$(date +%s.%N)
for c in a b c; do
    "$bin/brisel-cutout" -o "$sandbox/$c/out/" $(photos $c) >"$sandbox/$c.out" 2>&1 &
    eval "job_$c=$!"
done
for c in a b c; do
    eval "wait \$job_$c"; echo "client $c: exit $?, $(written $c)/10 written"
done
echo "seconds: $(echo "$(date +%s.%N) - $began" | bc)"
pid=$(cat "$pidfile")
echo "services started: $(starts); running: $(pgrep -fc "^$bin/brisel-matting-service .*--port $port ")"
echo "service pid $pid resident after the batch: $(rss "$pid")"
if [ "$idle" -gt 0 ]; then
    sleep $((idle + 5))
    echo "after $((idle + 5)) s idle: $(rss "$pid")"
else
    sleep 10
    echo "after 10 s idle (no idle exit in this service): $(rss "$pid")"
fi

echo "== SIGKILL of the service after the first photo of 10"
before=$(starts)
"$bin/brisel-cutout" -o "$sandbox/k/out/" $(photos k) >"$sandbox/k.out" 2>&1 &
job=$!
until grep -q '^\[1/10\]' "$sandbox/k.out" 2>/dev/null; do sleep 0.05; done
killed=$(cat "$pidfile")
kill -9 "$killed" && echo "killed service $killed"
wait $job
echo "client: exit $?, $(written k)/10 written; services started during it: $(($(starts) - before))"
echo "new service pid $(cat "$pidfile"), resident $(rss "$(cat "$pidfile")")"

pid=$(cat "$pidfile")
kill "$pid" 2>/dev/null
echo "log: $log"; tail -n 3 "$log"
[ -n "${KEEP:-}" ] || rm -rf "$sandbox"
