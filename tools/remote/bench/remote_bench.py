"""corvil-remote's figures against an emulated unit over loopback: a front-panel
change to its event at a client, a tap (PUT) to the output report at the unit,
and the processor time taken while idle with ten pages open.
usage: remote_bench.py REMOTE EMULATOR"""
import os
import random
import statistics
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "..", "testing"))
from harness import Emulator, Remote, private_rendezvous  # noqa: E402

remote_program, emulator_program = sys.argv[1:3]
SAMPLES = 100


def figures(samples):
    samples = sorted(samples)
    return f"median {statistics.median(samples):6.1f} ms   95th {samples[int(len(samples) * .95)]:6.1f} ms"


def run(period_ms):
    env = private_rendezvous()
    emulator = Emulator(emulator_program, "--serial", "BENCH", "--report-period-ms", str(period_ms), env=env)
    remote = Remote(remote_program, env=env)
    events = remote.events()
    events.until(lambda u: u["connected"])
    # Front panel to event: at random moments, so the unit's report rhythm is not followed.
    panel = []
    for k in range(SAMPLES):
        time.sleep(random.uniform(0.01, 0.06))
        start = time.perf_counter()
        emulator.command(f"route 0 2 {k % 8 + 1}")
        events.until(lambda u: u["outputs"][1]["input"] == k % 8 + 1)
        panel.append((time.perf_counter() - start) * 1000)
    # Tap to output report: the unit's count of output reports, asked for in a loop.
    taps = []
    for k in range(SAMPLES):
        time.sleep(random.uniform(0.01, 0.06))
        count = f"ok count={k + 1} "
        start = time.perf_counter()
        put = threading.Thread(target=remote.request, args=("PUT", "/api/units/BENCH/outputs/1", {"input": k % 8 + 1}))
        put.start()
        while not emulator.command("outputs 0").startswith(count):
            pass
        taps.append((time.perf_counter() - start) * 1000)
        put.join()
    idle = None
    if period_ms == 20:
        pages = [remote.events() for _ in range(10)]
        stat = lambda: sum(map(int, open(f"/proc/{remote.proc.pid}/stat").read().rsplit(")", 1)[1].split()[11:13]))
        time.sleep(2)
        before, start = stat(), time.monotonic()
        time.sleep(20)
        idle = (stat() - before) / os.sysconf("SC_CLK_TCK") / (time.monotonic() - start) * 100
        for p in pages:
            p.close()
    remote.stop()
    emulator.stop()
    return panel, taps, idle


print(f"corvil-remote against corvil-emulator, {SAMPLES} samples each")
for period in (20, 5):
    panel, taps, idle = run(period)
    print(f"unit reporting every {period} ms:")
    print(f"  front-panel change to event at a client    {figures(panel)}")
    print(f"  tap (PUT) to output report at the unit      {figures(taps)}")
    if idle is not None:
        print(f"  processor time, idle, one unit, ten pages  {idle:.2f} % of a core")
