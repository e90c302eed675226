#!/usr/bin/env python3
"""Load client for the matting service: JOBS photos through CLIENTS concurrent
clients (upload, poll, download), then throughput and latency percentiles.

A job counts as lost when its task vanished (404) or never finished, failed when
it finished with status 2. With --kill-every N the command --kill-cmd runs after
every N uploads (the load script uses it to SIGKILL a worker).

Usage: cluster_client.py URL [--jobs 500] [--clients 50] [--photo FILE]
                              [--cafile CA] [--kill-every N --kill-cmd CMD]
"""
import argparse, http.client, json, ssl, subprocess, sys, threading, time, urllib.parse


def connect(url, context):
    u = urllib.parse.urlsplit(url)
    if u.scheme == "https":
        return http.client.HTTPSConnection(u.hostname, u.port or 443, context=context, timeout=60)
    return http.client.HTTPConnection(u.hostname, u.port or 80, timeout=60)


def request(conn, method, target, body=None, headers=None):
    conn.request(method, target, body, headers or {})
    r = conn.getresponse()
    return r.status, r.getheader("Retry-After"), r.read()


def one_job(conn, photo, mac, deadline):
    """'done', 'failed' or 'lost', and the seconds from upload to downloaded result."""
    boundary = "brisel-load"
    body = (f"--{boundary}\r\nContent-Disposition: form-data; name=\"file\"; filename=\"p.png\"\r\n"
            "Content-Type: image/png\r\n\r\n").encode() + photo + f"\r\n--{boundary}--\r\n".encode()
    start = time.monotonic()
    while True:  # a busy cluster (503/429) is asked again, as the desktop does
        status, retry, data = request(conn, "POST", f"/api/v2/task?mac={mac}&is_body=1", body,
                                      {"Content-Type": f"multipart/form-data; boundary={boundary}"})
        if status not in (429, 503):
            break
        time.sleep(min(float(retry or 1), 2))
    if status != 200:
        return "failed", 0
    serial = json.loads(data)["data"]["serial"]
    while time.monotonic() < deadline:
        status, _, data = request(conn, "GET", f"/api/v2/task?mac={mac}&serial={serial}")
        if status == 503:
            time.sleep(0.2)
            continue
        if status != 200:
            return "lost", 0
        reply = json.loads(data)
        if reply["data"]["status"] == 2:
            return "failed", 0
        if reply["data"]["status"] == 1:
            path = urllib.parse.urlsplit(reply["data"]["convert_path"]).path
            status, _, png = request(conn, "GET", path)
            return ("done" if status == 200 and png[:4] == b"\x89PNG" else "lost"), time.monotonic() - start
        time.sleep(0.05)
    return "lost", 0


def main():
    p = argparse.ArgumentParser()
    p.add_argument("url")
    p.add_argument("--jobs", type=int, default=500)
    p.add_argument("--clients", type=int, default=50)
    p.add_argument("--photo", required=True)
    p.add_argument("--cafile")
    p.add_argument("--kill-every", type=int, default=0)
    p.add_argument("--kill-cmd")
    p.add_argument("--label", default="")
    a = p.parse_args()
    photo = open(a.photo, "rb").read()
    context = ssl.create_default_context(cafile=a.cafile) if a.cafile else None
    lock = threading.Lock()
    counts = {"done": 0, "failed": 0, "lost": 0}
    latencies, next_job = [], [0]
    deadline = time.monotonic() + 600

    def client(index):
        conn = connect(a.url, context)
        while True:
            with lock:
                job = next_job[0]
                if job >= a.jobs:
                    return
                next_job[0] += 1
            if a.kill_every and job and job % a.kill_every == 0:
                subprocess.run(a.kill_cmd, shell=True, check=False)
            try:
                outcome, seconds = one_job(conn, photo, f"load{index}", deadline)
            except (OSError, http.client.HTTPException):
                conn = connect(a.url, context)
                outcome, seconds = "lost", 0
            with lock:
                counts[outcome] += 1
                if outcome == "done":
                    latencies.append(seconds)

    started = time.monotonic()
    threads = [threading.Thread(target=client, args=(i,)) for i in range(a.clients)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    elapsed = time.monotonic() - started
    latencies.sort()
    pct = lambda q: latencies[min(len(latencies) - 1, int(q * len(latencies)))] * 1000 if latencies else 0
    print(f"{a.label:28s} jobs {a.jobs}  {counts['done'] / elapsed:6.1f} jobs/s  p50 {pct(0.5):6.0f} ms  "
          f"p95 {pct(0.95):6.0f} ms  p99 {pct(0.99):6.0f} ms  done {counts['done']}  failed {counts['failed']}  "
          f"lost {counts['lost']}")
    return 0 if counts["done"] == a.jobs else 1


if __name__ == "__main__":
    sys.exit(main())
