"""fathom-host.exe with the real Corvil.dll under Wine: the plug-in registered
with regsvr32 and created through its class identifier, driven by scripts the
way an analyser's user drives it, against units served by corvil-emulator.
Both programs meet the emulator at a private rendezvous (scripts/run-plugin saves
the host's windows for a look).
usage: plugin_test.py WINE_RUN FATHOM_HOST CORVIL_DLL EMULATOR"""
import os
import pathlib
import re
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "..", "testing"))
from harness import Emulator, check, private_rendezvous, run_cases, scratch, windows_path  # noqa: E402

wine, host_exe, dll, emulator_exe = sys.argv[1:5]
ROOT = r"Software\Orlo\FathomHostTest"
SECTION = "100%"  # a "%" the plug-in's log lines keep as text
folder = scratch("fathom-host-test-")
env = dict(private_rendezvous(), FMLOG_FILE=windows_path(folder + "/fmlog.txt"))
started = []  # ended when a case stops half-way


def run(*args):
    """A Windows program (reg, regsvr32, cmd) in the tests' Wine prefix: its exit code and output."""
    done = subprocess.run([wine, *args], capture_output=True, text=True, env=env, timeout=120)
    return done.returncode, done.stdout


def expect(got, want, what):
    check(got == want, what + ("" if got == want else f": got {got!r}, wanted {want!r}"))


def read(path):
    return pathlib.Path(path).read_bytes() if os.path.exists(path) else b""


def field(line, key):
    """The value of `key` in a result line: a quoted text unquoted, or a word."""
    m = re.search(f' {key}=(?:"((?:\\\\.|[^"])*)"|(\\S*))', line)
    return None if not m else m[2] if m[1] is None else re.sub(r"\\(.)", r"\1", m[1])


class Host:
    """fathom-host --script -: one command line in, its result line out, the
    "message: " lines printed meanwhile kept apart; started with "create"."""

    def __init__(self, units, env=env):
        self.proc = subprocess.Popen([wine, host_exe, "--script", "-", *units, "--root", ROOT, "--section", SECTION],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True, env=env, bufsize=1)
        started.append(self.proc)
        self.messages = []
        expect(self.command("create"), "ok", "the host creates the plug-in")

    def command(self, line):
        self.proc.stdin.write(line + "\n")  # sent at once: line-buffered
        while (answer := self.proc.stdout.readline().rstrip("\r\n")).startswith("message: "):
            self.messages.append(answer[9:])
        return answer

    def take_messages(self):
        taken, self.messages = self.messages, []
        return taken

    def quit(self):
        self.command("quit")
        expect(self.proc.wait(60), 0, "the host ends cleanly")


def emulator(*args):
    started.append((unit := Emulator(emulator_exe, *args, env=env, runner=[wine])).proc)
    return unit


def units(name, text=None):
    """A unit file of one case's own (with `text` if given), as the host's --units option."""
    if text:
        pathlib.Path(f"{folder}/units-{name}.txt").write_text(text)
    return ["--units", windows_path(f"{folder}/units-{name}.txt")]


def binds_units_by_serial_through_the_configuration_dialog_and_routes_them():
    unit = emulator("--serial", "EMU02", "--serial", "EMU01")
    host = Host(file := units("bind"))
    expect(host.command("add"), 'ok id=1 name="" address="SERIAL ?????"', "a new unit")
    # A new unit gets the first free name proposed and is bound by serial; the
    # serials are offered sorted, unlike discovery.
    dialog, offered = ' title="Tolvane Corvil Configuration" proposed=', ' offered="?????","EMU01","EMU02"'
    expect(host.command("configure 1 serial=EMU02"), 'ok result=0 name="TL Corvil 1" address="SERIAL EMU02"' + dialog
           + '"TL Corvil 1" selected="?????"' + offered, "bound by serial under the proposed name")
    # The host's other unit holds that name: refused with a message, then cancelled.
    host.command("add")
    expect(host.command('configure 2 name="TL Corvil 1" serial=EMU01'), 'ok result=-1 name="" address="SERIAL ?????"'
           + dialog + '"TL Corvil 2" selected="?????"' + offered + " refused", "a name in use is refused")
    expect(host.take_messages(), ["Invalid unit name."], "the refusal's message")
    expect(host.command("units"), 'ok count=2 1:"TL Corvil 1","SERIAL EMU02" 2:"","SERIAL ?????"', "units")
    expect(field(host.command("configure 2 name=Desk serial=EMU01"), "result"), "0", "another name is taken")
    # Reopened: the unit's own serial is selected, its name kept; a serial the
    # list does not offer is said so and the dialog cancelled.
    expect(host.command("configure Desk serial=EMU09"), 'ok result=-1 name="Desk" address="SERIAL EMU01"' + dialog
           + '"Desk" selected="EMU01"' + offered + " serial-not-offered", "reopened, a serial not offered")
    # Routing through the host's model: input choice and level per output.
    expect([host.command("set-routing 1 3 Line 5 Mic"), unit.command("state 0")], ["ok result=0", "ok input1=3 "
           "input2=5 pads1=0x04 pads2=0x00 seqinputs1=0x00 seqinputs2=0x00 seqcontrol1=0x00 seqcontrol2=0x00 "
           "serial=EMU02"], "the routing at the unit")
    unit.do("pad 0 2 5 on")
    expect(host.command("routing 1"), 'ok result=0 in1=3 level1=1 in2=5 level2=1 out1="Out 1: In 3 Line" '
           'out2="Out 2: In 5 Line"', "the routing read back with the unit's pads")
    expect(host.command("set-routing Desk 8 1 0 0"), "ok result=0", "set-routing by name")
    host.quit()
    # The host's units are kept across runs.
    host = Host(file)
    expect([host.command("units"), host.command("routing Desk")],
           ['ok count=2 1:"TL Corvil 1","SERIAL EMU02" 2:"Desk","SERIAL EMU01"', 'ok result=0 in1=8 level1=1 in2=0 '
            'level2=0 out1="Out 1: In 8 Line" out2="Out 2: No In"'], "the units and the second one's routing kept")
    host.quit()
    unit.stop()


def unit_window_follows_the_unit_and_goes_when_contact_is_lost():
    unit = emulator("--serial", "EMU01")
    unit.do("route 0 1 2")
    host = Host(units("window", "7\tDesk\tSERIAL EMU01\n"))
    expect([host.command("open Desk"), host.command("info 7")],
           ["ok result=0", 'ok result=0 address="SERIAL EMU01" name="Desk"'], "open, info")
    expect(host.command("show Desk").partition(" rect=")[0],
           'ok visible=1 title="Desk" in1=2 level1=Mic enabled1=1 in2=0 level2=- enabled2=0', "the window's controls")
    # A front-panel change shows with the next poll: one Tick of 500 ms ...
    unit.do("route 0 1 6")
    expect([host.command("tick 500"), field(host.command("show Desk"), "in1")], ["ok result=0", "6"],
           "a front-panel change at the next tick")
    # ... and with the host's own timer running.
    unit.do("route 0 2 4")
    check(int(field(s := host.command("wait 1500"), "reported") or 0) >= 500, "the timer reports at least 500 ms: " + s)
    expect(field(host.command("show Desk"), "in2"), "4", "a front-panel change by the timer")
    # The user's clicks reach the unit.
    expect([host.command("click Desk 1 5"), field(unit.command("state 0"), "input1"), host.command("level Desk 2 Line"),
            field(unit.command("state 0"), "pads2")], ["ok", "5", "ok", "0x08"], "a click and a level at the unit")
    expect((field(s := host.command("show Desk"), "in1"), field(s, "level2")), ("5", "Line"), "shown in the window")
    # Its system menu: About, and Configure through the host.
    expect(host.command("menu Desk about"), 'ok title="About Orlo Fathom DLL For Tolvane Corvil" '
           'version="DLL Version 5.0.3" product="Tolvane Corvil"', "About")
    expect((field(s := host.command("menu Desk configure name=Studio"), "result"), field(s, "proposed")), ("0", "Desk"),
           "Configure from the menu: " + s)
    expect([field(host.command("show Studio"), "title"), host.command("info 7")],
           ["Studio", 'ok result=0 address="SERIAL EMU01" name="Studio"'], "the window's and the unit's new name")
    # Unplugged: the next poll reports it through the host, and the window goes.
    unit.do("unplug 0")
    lost = ["ok result=0", ["Contact was lost with unit Studio."]]
    expect([host.command("tick 500"), host.take_messages()], lost, "unplugged: the host says so")
    expect([host.command("tick 500"), host.command("windows"), host.command("info 7")],
           ["ok result=0", "ok count=0", "ok result=-1"], "unplugged: the window gone")
    # Opened while unplugged: the first read already finds the contact lost.
    expect([host.command("open Studio"), host.take_messages()], lost, "opened while unplugged: the host says so")
    expect([host.command("tick 500"), host.command("windows")], ["ok result=0", "ok count=0"], "and the window goes")
    # Plugged in again: the window opens as before.
    unit.do("plug 0")
    expect([host.command("open Studio"), field(s := host.command("show Studio"), "visible"), field(s, "in1")],
           ["ok result=0", "1", "5"], "plugged in again: the window as before")
    # Escape, through the host's plain message loop: hidden at once, gone at the next poll.
    expect([host.command("key Studio escape"), host.command("windows"), host.command("tick 500"),
            host.command("windows")], ["ok", 'ok count=1 "Studio":hidden', "ok result=0", "ok count=0"], "Escape")
    expect(host.take_messages(), [], "no other message")
    host.quit()
    unit.stop()


def unit_window_placement_and_scrolling_come_back_in_the_next_run():
    unit = emulator("--serial", "EMU01")
    host = Host(file := units("placement", "1\tDesk\tSERIAL EMU01\n"))
    # Made smaller than its content, and scrolled.
    expect([host.command("open Desk"), host.command("move Desk 100 120 150 70")],
           ["ok result=0", "ok rect=100,120,250,190"], "open, move")
    check(not (scroll := field(host.command("scroll Desk h 3"), "scroll")).startswith("0,"), "scrolled: " + scroll)
    s = host.command("show Desk")
    expect((field(s, "rect"), field(s, "scroll")), ("100,120,250,190", scroll), "the window moved and scrolled")
    host.quit()  # the window closed, the settings saved
    # Saved under the host's key path.
    for name, want in (("controlrect", "100, 120, 250, 190"), ("controlscrollx", scroll.partition(",")[0])):
        _, out = run("reg", "query", rf"HKCU\{ROOT}\{SECTION}\TL Corvil", "/v", name)
        expect(out.partition("REG_SZ")[2].strip(), want, "the registry's " + name)
    host = Host(file)
    expect([host.command("open Desk"), field(s := host.command("show Desk"), "rect"), field(s, "scroll")],
           ["ok result=0", "100,120,250,190", scroll], "placement and scrolling back in the next run")
    host.quit()
    unit.stop()
    # The plug-in's log lines reach the host's FMLOG.dll at level 128, the key path as text.
    check(b'[128] CConfig::Init, base="Software\\Orlo\\FathomHostTest\\100%\\"' in read(folder + "/fmlog.txt"),
          "the plug-in's log line")


def keeps_its_units_and_the_stand_in_log_in_the_users_application_data():
    # As installed under Program Files, where it may not write beside itself.
    data = run("cmd", "/c", "winepath", "-u", "%APPDATA%")[1].strip() + "/Tolvane/fathom-host"
    beside = os.path.join(os.path.dirname(host_exe), "FMLOG.log")
    for path in (f"{data}/units.txt", f"{data}/FMLOG.log", beside):
        pathlib.Path(path).unlink(missing_ok=True)
    host = Host([], env={k: v for k, v in env.items() if k != "FMLOG_FILE"})
    expect(field(host.command("add Desk"), "name"), "Desk", "a unit added")
    host.quit()
    check(b"\tDesk\t" in read(f"{data}/units.txt"), "the units in the user's application data")
    check(b"[128] CConfig::Init" in read(f"{data}/FMLOG.log"), "the log in the user's application data")
    expect(read(beside), b"", "no log beside the program")


def tidy():
    """What a case that stopped half-way left running ended; the host's key path removed."""
    while started:
        started.pop().kill()
    run("reg", "delete", "HKCU\\" + ROOT, "/f")


# Without a window manager, Wine's own window frames close promptly.
run("reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed", "/d", "N", "/f")
# Registered as a user registers it: the host finds it only through the registry.
# With backslashes: the DLL's own folder is searched for FMLOG.dll only for a path written so.
expect(run("regsvr32", "/s", windows_path(dll))[0], 0, "regsvr32 registers Corvil.dll")


tidy()
run_cases("fathom-host", binds_units_by_serial_through_the_configuration_dialog_and_routes_them,
          unit_window_follows_the_unit_and_goes_when_contact_is_lost,
          unit_window_placement_and_scrolling_come_back_in_the_next_run,
          keeps_its_units_and_the_stand_in_log_in_the_users_application_data, after=tidy)
