"""corvil-remote's HTTP interface against units of corvil-emulator: what each
request gets back, the access rules, and exactly what reaches the unit.
RUNNER runs corvil-remote (valgrind and its options: any memory error or
definite leak fails the run); with --wine the Windows programs run under Wine.
usage: remote_test.py REMOTE EMULATOR VERSION [--wine WINE_RUN | RUNNER...]"""
import concurrent.futures
import contextlib
import os
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "..", "testing"))
from harness import Emulator, Events, Remote, check, private_rendezvous, run_cases, scratch, windows_path  # noqa: E402

remote_program, emulator_program, version = sys.argv[1:4]
wine = sys.argv[5] if sys.argv[4:5] == ["--wine"] else None
runner = [wine] if wine else sys.argv[4:]
slow = 60 if wine else 5  # Wine takes its time to start a program and find its units


def start(*args, env):
    return Remote(remote_program, *args, env=env, runner=runner)


def stop(remote):
    status = remote.stop()
    check(wine or status == 0, f"corvil-remote ends cleanly on SIGTERM (exit status {status})")


@contextlib.contextmanager
def served(*serials, commands=(), args=(), env=None):
    """An emulator with these units (after `commands`), and corvil-remote once it shows them connected."""
    env = env or private_rendezvous()
    with Emulator(emulator_program, serials=serials, commands=commands, env=env, runner=[wine] if wine else []) \
            as emulator:
        remote = start(*args, env=env)
        try:
            events, waiting = remote.events(slow), set(serials)
            while waiting:
                waiting.discard(events.until(lambda u: u["serial"] in waiting and u["connected"], slow)[1]["serial"])
            events.close()
            yield emulator, remote
        finally:
            stop(remote)


def output(input, pads, on, inputs, interval):
    return {"input": input, "pads": pads, "autoSequence": {"on": on, "inputs": inputs, "interval": interval}}


def reads_the_unit_and_writes_only_what_is_asked():
    with served("DEMO1", "DEMO2", commands=("route 0 2 6", "pad 0 2 6 on", "pad 0 1 3 on", "seq-inputs 0 2 0x05",
                                           "seq-interval 0 2 4")) as (emulator, remote):
        demo1 = {"serial": "DEMO1", "connected": True,
                 "outputs": [output(0, [3], False, [], 0), output(6, [6], False, [1, 3], 2.0)]}
        status, body = remote.request("GET", "/api/units")
        check(status == 200 and [u["serial"] for u in body["units"]] == ["DEMO1", "DEMO2"]
              and body["units"][0] == demo1, "every unit as the unit has it")
        check(remote.request("GET", "/api/units/DEMO1") == (200, demo1), "one unit by its serial number")
        # Each change and what reaches the unit: 255 for an input not changed, the
        # pads as the unit has them, what is not given of auto-sequencing stays.
        answers = []
        for out, change, sent in ((1, {"input": 4}, "count=1 last=03 ff 04 20 04"),
                                  (2, {"input": 6, "pads": [1, 8]}, "count=2 last=03 06 ff 81 04"),  # one report
                                  (2, {"autoSequence": {"on": True}}, "count=3 last=04 05 00 84 00"),
                                  (1, {"autoSequence": {"inputs": [2], "interval": 9}, "input": 0},
                                   "count=5 last=04 05 02 84 12"),
                                  (2, {"autoSequence": {"interval": 0.5}}, "count=6 last=04 05 02 81 12"),  # stays on
                                  (1, {}, "count=6 last=04 05 02 81 12")):  # nothing to send
            status, body = remote.request("PUT", f"/api/units/DEMO1/outputs/{out}", change)
            answers.append(body["outputs"])
            check(status == 200 and emulator.command("outputs 0") == "ok " + sent, f"{change} on output {out}: {sent}")
        check(answers[0][0] == output(4, [3], False, [], 0), "a change is answered with the unit as it now is")
        check(answers[3] == [output(0, [3], False, [2], 9.0), output(6, [1, 8], True, [1, 3], 2.0)], "and in full")
        check(emulator.command("state 0") == "ok input1=0 input2=6 pads1=0x04 pads2=0x81 seqinputs1=0x02 "
                                             "seqinputs2=0x05 seqcontrol1=0x12 seqcontrol2=0x81 serial=DEMO1",
              "the unit ends as asked")
        check(emulator.command("outputs 1") == "ok count=0 last=-", "the other unit is not written")


def bad_requests_get_a_clear_error_and_change_nothing():
    with served("DEMO1") as (emulator, remote):
        out1, one, port = "/api/units/DEMO1/outputs/1", '{"input": 1}', remote.port
        bad = [(400, "PUT", out1, body) for body in (
            '{"input": 4', "[4]", '{"input": 4, "volume": 3}', '{"autoSequence": {"speed": 1}}', '{"input": 9}',
            '{"input": -1}', '{"input": 2.5}', '{"input": "4"}', '{"pads": [0]}', '{"pads": [9]}', '{"pads": 3}',
            '{"autoSequence": {"on": 1}}', '{"autoSequence": {"inputs": [1, 9]}}',
            '{"autoSequence": {"interval": 0.7}}', '{"autoSequence": {"interval": 9.5}}')]
        bad += [(400, "PUT", "/api/units/DEMO1/outputs/3", one), (400, "PUT", "/api/units/DEMO1/outputs/0", one),
                (404, "PUT", "/api/units/NOPE1/outputs/1", one), (404, "GET", "/api/units/NOPE1", None),
                (404, "GET", "/api/unit", None), (404, "GET", "/index.html", None), (405, "POST", out1, one),
                (405, "DELETE", "/api/units/DEMO1", None), (413, "PUT", out1, '{"pads": [' + " " * 5000 + "1]}"),
                (415, "PUT", out1, one, {"Content-Type": "text/plain"}), (415, "PUT", out1, one, {"Content-Type": None}),
                # Another site's page, or a name rebound to this machine (or not listened on), reaches nothing.
                (403, "PUT", out1, one, {"Origin": "http://evil.example"}), *(
                    (403, "GET", "/api/units", None, {"Host": host})
                    for host in (f"evil.example:{port}", "127.0.0.1:1", f"10.1.2.3:{port}"))]
        for status, method, target, body, *headers in bad:
            got, answer = remote.request(method, target, body, *headers)
            check(got == status and isinstance(answer, dict) and isinstance(answer.get("error"), str),
                  f"{method} {target} {body[:40] if body else ''} {headers}: {status} with an error ({got})")
        with socket.create_connection(("127.0.0.1", port), timeout=10) as raw:
            raw.sendall(b"\x01\x02 nonsense\r\n\r\n")
            check(raw.makefile("rb").read(12) == b"HTTP/1.1 400", "garbage on the wire gets a 400")
        check(remote.request("GET", "/api/units", headers={"Host": f"localhost:{port}"})[0] == 200, "and the server goes on")
        check(emulator.command("outputs 0") == "ok count=0 last=-", "nothing reached the unit")


def a_change_only_ever_carries_records_the_unit_sent_after_it():
    with served("DEMO1", commands=("pad 0 2 5 on",)) as (emulator, remote), \
            concurrent.futures.ThreadPoolExecutor(1) as pool:
        events = remote.events(slow)
        # The unit falls silent but for made-up reports: the remote's view says
        # output 2 has no pads, as if another program changed them after its read.
        emulator.do("silence 0 on", "raw 0 03 00 00 00 00")
        events.until(lambda u: u["outputs"][1]["pads"] == [])
        put = pool.submit(remote.request, "PUT", "/api/units/DEMO1/outputs/1", {"input": 2})
        time.sleep(0.3)  # (the request has arrived)
        # An auto-sequencing report after the request is not enough: the change
        # waits for the unit's own settings.
        emulator.do("raw 0 04 00 00 00 00")
        time.sleep(0.1)
        check(emulator.command("outputs 0") == "ok count=0 last=-", "a change waits for the unit's settings")
        emulator.do("silence 0 off")
        check(put.result()[0] == 200 and emulator.command("outputs 0") == "ok count=1 last=03 ff 02 10 00",
              "and carries the pads the unit sent after it, not the earlier view")


def events_follow_front_panel_loss_and_return():
    with served("DEMO1", "DEMO2") as (emulator, remote):
        events = remote.events(slow)
        check([events.next()[1]["serial"] for _ in "12"] == ["DEMO1", "DEMO2"], "an event for every unit as it opens")
        emulator.do("route 1 1 7")
        e = events.next()[1]
        check(e["serial"] == "DEMO2" and e["outputs"][0]["input"] == 7, "the next event is the front panel's change")
        emulator.do("seq-inputs 0 2 0x03", "seq-interval 0 2 1", "seq 0 2 on")
        events.until(lambda u: u["outputs"][1]["input"] == 1, 3)  # steps of auto-sequencing, half a second apart
        events.until(lambda u: u["outputs"][1]["input"] == 2, 3)
        emulator.do("seq 0 2 off")
        for lose, back in (("unplug 0", "plug 0"), ("silence 0 on", "silence 0 off")):
            began = time.monotonic()
            emulator.do(lose)
            events.until(lambda u: u["serial"] == "DEMO1" and not u["connected"], 3)
            took = time.monotonic() - began
            check(wine or took < 1.5, f"{lose}: the unit shows as lost ({took:.2f} s)")
            check(remote.request("PUT", "/api/units/DEMO1/outputs/1", {"input": 1})[0] == 503, "a change to it: 503")
            emulator.do("route 1 2 3")
            check(events.until(lambda u: u["serial"] == "DEMO2")[1]["outputs"][1]["input"] == 3, "DEMO2 goes on")
            emulator.do("route 1 2 0", back)
            events.until(lambda u: u["serial"] == "DEMO1" and u["connected"], slow)
        check(remote.request("PUT", "/api/units/DEMO1/outputs/1", {"input": 1})[0] == 200, "and takes changes again")


def the_token_is_made_once_kept_for_the_user_and_asked_for_everywhere_but_the_page():
    env, config = private_rendezvous(), scratch("corvil-remote-config-")
    env["XDG_CONFIG_HOME"] = config
    # Beyond loopback the token is needed, kept in the user's configuration
    # (under Wine, where --token-file puts it).
    kept = config + "/token" if wine else config + "/corvil/remote-token"
    first = ("--token-file", windows_path(kept)) if wine else ("--listen", "0.0.0.0:0")
    with served("TOKEN", args=first, env=env) as (_, remote):
        token = remote.token
        check(len(token) == 64 and open(kept).read() == token + "\n", "the token is made, printed and kept")
        check(wine or os.stat(kept).st_mode & 0o777 == 0o600, "for the user alone")
        wrong = token[:-1] + chr(ord(token[-1]) ^ 1)  # differs in its last character only
        asked = [remote.request("GET", target, headers={"Authorization": authorization})[0] for target, authorization in (
            ("/", None), ("/api/units", None), ("/api/units", "Bearer " + wrong), ("/api/units", f"Bearer {token}0"),
            ("/api/units", "Basic " + token), ("/api/units", "Bearer " + token),
            ("/api/units?token=" + token, None),  # only for the stream
            ("/api/events?token=x" + token, None))]
        check(asked == [200, 401, 401, 401, 401, 200, 401, 401], f"the token is asked for everywhere but the page {asked}")
        check(Events(remote.port, slow, token).next()[1]["serial"] == "TOKEN", "the event stream takes it in its address")
    remote = start(*first, env=env)
    check(remote.token == token and remote.request("GET", "/api/units")[0] == 200, "a second start keeps the token")
    stop(remote)
    remote = start("--token-file", windows_path(scratch("t-") + "/t") if wine else scratch("t-") + "/t", env=env)
    check(len(remote.token) == 64 and remote.token != token, "another file, another token")
    check(remote.request("GET", "/api/units", headers={"Authorization": None})[0] == 401, "asked for on loopback too")
    stop(remote)


def the_program_takes_only_its_options():
    def run(*args):
        return subprocess.run([*runner, remote_program, *args], capture_output=True, text=True, timeout=120)
    check(run("--version").stdout.strip() == "corvil-remote " + version, "--version")
    for bad in (["--fly"], *(["--listen", a] for a in ("nowhere", "127.0.0.1", "127.0.0.1:70000", "[::1:80"))):
        check(run(*bad).returncode == 2, f"{bad}: a usage error")
    stop(start(env=private_rendezvous()))  # stopped as soon as it says its address


run_cases("corvil-remote", reads_the_unit_and_writes_only_what_is_asked,
          bad_requests_get_a_clear_error_and_change_nothing, a_change_only_ever_carries_records_the_unit_sent_after_it,
          events_follow_front_panel_loss_and_return,
          the_token_is_made_once_kept_for_the_user_and_asked_for_everywhere_but_the_page,
          the_program_takes_only_its_options)
