#!/bin/bash
# Figures for the Redis-backed service on this machine with the key engine:
# throughput and p50/p95/p99 latency with 1 and 2 worker processes at CLIENTS
# concurrent clients; JOBS jobs with a worker SIGKILLed (and restarted, as
# systemd would) every 100 jobs, counting jobs lost and failed; the same through
# HAProxy terminating TLS in front of two API processes.
#
# Usage: tools/load/cluster.sh [BIN_DIR]   (default build/bin)
# Env:   JOBS (500), CLIENTS (50), PHOTO (tests/data/astronaut.png),
#        BASE_PORT (47800: Redis, +1/+2 APIs, +11.. workers, +20 HAProxy),
#        VISIBILITY (5s: how soon a killed worker's job is handed out again)
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
bin=$(cd "${1:-$root/build/bin}" && pwd)
jobs=${JOBS:-500}
clients=${CLIENTS:-50}
photo=${PHOTO:-$root/tests/data/astronaut.png}
base=${BASE_PORT:-47800}
visibility=${VISIBILITY:-5s}
work=$(mktemp -d /tmp/brisel-cluster-XXXXXX)
store=redis://127.0.0.1:$base
service=("$bin/brisel-matting-service" --engine key --store "$store" --queue 256 --result-ttl 60s
         --visibility "$visibility" --log-level warning)

cleanup() {
    for f in "$work"/*.pid; do [ -f "$f" ] && kill -9 "$(cat "$f")" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

started() { # started PORT: waits until something answers /healthz there
    for _ in $(seq 100); do
        curl -sf "http://127.0.0.1:$1/healthz" >/dev/null && return 0
        sleep 0.1
    done
    echo "nothing answers on port $1" >&2
    exit 1
}
api() { "${service[@]}" --role api --port $((base + $1)) 2>>"$work/api$1.log" >/dev/null &
    echo $! >"$work/api$1.pid"; disown; started $((base + $1)); }
worker() { "${service[@]}" --role worker --port $((base + 10 + $1)) 2>>"$work/worker$1.log" >/dev/null &
    echo $! >"$work/worker$1.pid"; disown; started $((base + 10 + $1)); }

redis-server --port "$base" --bind 127.0.0.1 --save '' --appendonly no >"$work/redis.log" 2>&1 &
echo $! >"$work/redis.pid"
disown
sleep 0.5
api 1
api 2
worker 1

# The kill hook: SIGKILL to the workers in turn, each restarted at once.
printf -v command '%q ' "${service[@]}"
cat >"$work/kill.sh" <<KILL
k=\$(cat "$work/kills" 2>/dev/null || echo 0)
echo \$((k + 1)) >"$work/kills"
n=\$((k % 2 + 1))
kill -9 \$(cat "$work/worker\$n.pid")
$command --role worker --port \$(($base + 10 + n)) 2>>"$work/worker\$n.log" >/dev/null &
echo \$! >"$work/worker\$n.pid"
KILL

run() { # run LABEL URL [client options]
    local label=$1 url=$2
    shift 2
    python3 "$root/tools/load/cluster_client.py" "$url" --jobs "$jobs" --clients "$clients" --photo "$photo" \
        --label "$label" "$@"
}
echo "key engine, $(nproc) cores, $clients clients, photo $(basename "$photo")"
run "1 worker" "http://127.0.0.1:$((base + 1))"
worker 2
run "2 workers" "http://127.0.0.1:$((base + 1))"
run "2 workers, kill every 100" "http://127.0.0.1:$((base + 1))" --kill-every 100 --kill-cmd "bash $work/kill.sh"

# HAProxy with TLS in front of both APIs.
BRISEL_TLS_DIR=$work/tls bash "$root/tools/make-certs.sh"
cat "$work/tls/server-cert.pem" "$work/tls/server-key.pem" >"$work/tls/haproxy.pem"
sed -e "s|bind :443 ssl crt /etc/brisel/tls/brisel.pem|bind 127.0.0.1:$((base + 20)) ssl crt $work/tls/haproxy.pem|" \
    -e "s|127.0.0.1:47661|127.0.0.1:$((base + 1))|; s|127.0.0.1:47662|127.0.0.1:$((base + 2))|" \
    -e "/log \/dev\/log/d" "$root/deploy/haproxy.cfg" >"$work/haproxy.cfg"
haproxy -f "$work/haproxy.cfg" -db >"$work/haproxy.log" 2>&1 &
echo $! >"$work/haproxy.pid"
disown
sleep 1
run "HAProxy TLS, 2 APIs, 2 workers" "https://127.0.0.1:$((base + 20))" --cafile "$work/tls/ca.pem"
run "HAProxy, kill every 100" "https://127.0.0.1:$((base + 20))" --cafile "$work/tls/ca.pem" \
    --kill-every 100 --kill-cmd "bash $work/kill.sh"
echo "redis: $(redis-cli -p "$base" info memory | grep -E '^used_memory_(human|peak_human)' | tr -d '\r' | tr '\n' ' ')"
echo "workers killed: $(cat "$work/kills" 2>/dev/null || echo 0)"
