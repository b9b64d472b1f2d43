"""corvil-remote.exe under Wine serves the interface to a client on this (Linux)
side, against corvil-emulator.exe's unit (Windows units meet only Windows
programs). usage: wine_test.py WINE_RUN REMOTE_EXE EMULATOR_EXE"""
import os
import sys

from harness import Emulator, Remote, check, finish, scratch

wine_run, remote_exe, emulator_exe = sys.argv[1:4]
env = dict(os.environ)
# A private rendezvous: the units' folder is under LOCALAPPDATA.
env["LOCALAPPDATA"] = "Z:" + scratch("corvil-remote-wine-").replace("/", "\\")
emulator = Emulator(emulator_exe, "--serial", "WINE1", env=env, wine=wine_run)
# With an access token, made on first start from Windows' random source.
token_file = scratch("corvil-remote-wine-token-") + "/token"
remote = Remote(remote_exe, "--token-file", "Z:" + token_file.replace("/", "\\"), env=env, wine=wine_run)
try:
    check(remote.token and open(token_file).read().strip() == remote.token and len(remote.token) == 64,
          "the token is made, kept and printed")
    check(remote.request("GET", "/api/units", headers={"Authorization": "Bearer 0"})[0] == 401,
          "a request without it is refused")
    events = remote.events(timeout=60)
    check(events.until(lambda u: u["serial"] == "WINE1" and u["connected"], 60)[1]["outputs"][0]["input"] == 0,
          "the unit appears on the event stream")
    status, body = remote.request("PUT", "/api/units/WINE1/outputs/1", {"input": 4, "pads": [4]})
    check(status == 200 and body["outputs"][0]["pads"] == [4], f"a change is answered with the unit ({status})")
    check(emulator.command("outputs 0") == "ok count=1 last=03 ff 04 00 08", "and reaches the unit as one report")
    emulator.command("route 0 2 7")
    check(events.until(lambda u: u["outputs"][1]["input"] == 7)[1]["serial"] == "WINE1", "the front panel is followed")
    check(remote.request("PUT", "/api/units/WINE1/outputs/3", {"input": 1})[0] == 400, "a bad output is refused")
    check(remote.request("GET", "/api/units", headers={"Host": "rebound.example:%d" % remote.port})[0] == 403,
          "a foreign Host is refused")
    emulator.command("unplug 0")
    check(events.until(lambda u: not u["connected"])[1]["serial"] == "WINE1", "an unplugged unit is lost")
    emulator.command("plug 0")
    check(events.until(lambda u: u["connected"], 30)[1]["serial"] == "WINE1", "and found again")
    check(emulator.command("outputs 0") == "ok count=1 last=03 ff 04 00 08", "nothing else was written")
finally:
    remote.stop()
    emulator.stop()
finish("wine test")
