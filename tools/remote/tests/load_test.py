"""Load on corvil-remote over loopback: 50 open event streams and 100 requests a
second (four in five of them changes) for SECONDS (default 60). Every stream
must receive every change, in order; the unit exactly the writes asked for;
the program's memory and threads must be flat afterwards.
usage: load_test.py REMOTE EMULATOR [SECONDS]"""
import os
import random
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "..", "testing"))
from harness import Emulator, Remote, check, finish, private_rendezvous  # noqa: E402

remote_program, emulator_program = sys.argv[1:3]
seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 60
STREAMS, RATE, WRITERS = 50, 100, 8
env = private_rendezvous()
emulator = Emulator(emulator_program, serials=["LOAD1"], env=env)
remote = Remote(remote_program, env=env)
streams = [remote.events(timeout=seconds + 30) for _ in range(STREAMS)]
received = [[] for _ in streams]
sent = {"puts": 0, "gets": 0, "bad": []}
lock = threading.Lock()


def usage():
    fields = dict(line.split(":", 1) for line in open(f"/proc/{remote.proc.pid}/status"))
    return int(fields["VmRSS"].split()[0]), int(fields["Threads"])


def listen(stream, events):
    stream.until(lambda u: u["connected"])
    try:
        while True:
            events.append(stream.next())
    except (EOFError, OSError):
        pass


def write(start, stop):
    # RATE / WRITERS requests a second each, at fixed times (not after the answers).
    for due in (start + n * WRITERS / RATE for n in range(int((stop - start) * RATE / WRITERS) + 1)):
        time.sleep(max(0.0, due - time.monotonic()))
        body = random.choice(({"input": random.randint(0, 8)}, {"pads": random.sample(range(1, 9), 2)},
                              {"autoSequence": {"inputs": [random.randint(1, 8)], "interval": 2.5}}))
        key = "puts" if random.random() < 0.8 else "gets"
        status = (remote.request("PUT", f"/api/units/LOAD1/outputs/{random.choice((1, 2))}", body) if key == "puts"
                  else remote.request("GET", "/api/units/LOAD1"))[0]
        with lock:
            sent[key] += 1
            sent["bad"] += [status] if status != 200 else []


def load(duration):
    start = time.monotonic() + 0.1
    writers = [threading.Thread(target=write, args=(start + k / RATE, start + duration)) for k in range(WRITERS)]
    [w.start() for w in writers]
    [w.join() for w in writers]


[threading.Thread(target=listen, args=pair, daemon=True).start() for pair in zip(streams, received)]
time.sleep(2)
load(min(10, seconds / 4))  # warm-up: the allocator's and the streams' buffers grow to their size
time.sleep(1)
before, warm, began = usage(), sent["puts"] + sent["gets"], time.monotonic()
load(seconds)
took, total = time.monotonic() - began, sent["puts"] + sent["gets"] - warm
time.sleep(2)
print(f"{total} requests in {took:.1f} s ({total / took:.0f} a second); {sent['puts']} changes in all")
check(total / took >= RATE * 0.9, "the requests were made at the rate asked for")
check(not sent["bad"], f"every request answered 200 {sent['bad'][:10]}")
check(emulator.command("outputs 0").startswith(f"ok count={sent['puts']} "),
      f"the unit received exactly {sent['puts']} writes: {emulator.command('outputs 0')}")
[s.close() for s in streams]
time.sleep(1)
ids = [[i for i, _ in r] for r in received]
check(min(map(len, ids)) > sent["puts"] / 2, f"the streams received the changes' events ({min(map(len, ids))})")
check(all(b - a == 1 for r in ids for a, b in zip(r, r[1:])), "every stream's events came in order, none left out")
check(all(r == received[0] for r in received), "all streams received the same events")
rss, threads = usage()
print(f"memory {before[0]} kB -> {rss} kB, threads {before[1]} -> {threads}")
check(threads == before[1], "threads flat")
check(rss - before[0] < 4096, "memory flat (within 4 MB)")
remote.stop()
emulator.stop()
finish("remote load")
