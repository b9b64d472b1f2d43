"""corvilctl's commands, output and exit statuses against units of corvil-emulator; on Linux also what it
tells of the machine's HID interfaces. RUNNER runs corvilctl (valgrind and its options: any memory error or
definite leak fails the run); with --wine the Windows programs run under Wine.
usage: corvilctl_test.py CORVILCTL EMULATOR LIBCORVHID [--wine WINE_RUN | RUNNER...]"""
import ctypes
import os
import pathlib
import re
import subprocess
import sys
import time
from itertools import chain, cycle, islice, repeat

sys.path.insert(0, sys.path[0] + "/../../../testing")  # the shared harness
from harness import Emulator, check, private_rendezvous, run_cases, scratch  # noqa: E402

ctl_program, emulator_program, library = sys.argv[1:4]
wine = sys.argv[5] if sys.argv[4:5] == ["--wine"] else None
runner = [wine] if wine else sys.argv[4:]
P = re.compile  # a text matched whole
os.environ.update(private_rendezvous())  # these units only


def holds(got, want):
    """`got` is `want` (a string), matches it (a pattern), holds its parts (a tuple), passes it (a test), or all."""
    if isinstance(want, list):
        return all(holds(got, w) for w in want)
    if isinstance(want, tuple):
        return all(part in got for part in want)
    if isinstance(want, re.Pattern):
        return want.fullmatch(got) is not None
    return want is None or (want(got) if callable(want) else got == want)


def expect(*args, status=0, out=None, err=None, prefix=(), env=None, meanwhile=None):
    """corvilctl `args` (after `prefix`: as another user) run to its end, `meanwhile` called while it runs."""
    ctl = subprocess.Popen([*prefix, *runner, ctl_program, *args], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, text=True, env=env)
    while meanwhile and ctl.poll() is None:
        meanwhile()
    stdout, stderr = ctl.communicate(timeout=300)
    ok = ctl.returncode == status and holds(stdout, out) and holds(stderr, err)
    check(ok, f"corvilctl {args}" + ("" if ok else f": {ctl.returncode} {stdout!r} {stderr!r}"))


def unit(emulator, command, want):
    got = emulator.command(command)
    check(holds(got, want), f"{command}: {got}")


def units(*serials, commands=()):
    return Emulator(emulator_program, serials=serials, commands=commands, runner=[wine] if wine else [])


def no_unit_and_bad_arguments():
    expect("show", status=3, err=("no Corvil unit found (Corvil not detected!)", "corvil-emulator"))
    # One line naming the problem, and where to look.
    def usage(said=r"[^\n]"):
        return P(rf"corvilctl: [^\n]*{said}[^\n]*\nTry 'corvilctl --help' for more information\.\n")
    texts = {"fly": "unknown command 'fly'", "--bogus show": "unknown option '--bogus'", "show --serial AAA01":
             "--serial chooses the unit for every command, so it goes before the command: "
             "corvilctl --serial AAA01 show"}
    for line in ("", "fly", "--bogus show", "route 3 1", "route 1 9", "pad 1 0 on", "pad 1 1 up", "seq 1",
                 "seq 1 --inputs 1,9", "serial --set TOOLONG", "--unit x show", "show --yaml", "watch --changes 0",
                 "--unit 0 --serial AAAAA show", "--unit 0 list", "--serial AAAAA list --all", "route 1 2 --json",
                 "serial --set ABCDE --json", "show --serial AAA01"):
        expect(*line.split(), status=2, err=usage(re.escape(texts[line])) if line in texts else usage())
    # Only plain decimals of a whole number of half seconds reach the interval code.
    for interval in "0.7 1e0 0x1p1 +1 nan inf 1. .5 2.25 9.5 0".split() + [" 1", "1 "]:
        expect("seq", "1", "--interval", interval, status=2, err=usage())


def list_show_and_selection():
    # The longest interval: no step of auto-sequencing comes before the reads.
    with units("AAA01", "BBB02", commands=("route 1 1 3", "pad 1 1 3 on", "seq-inputs 1 2 0x05", "seq-interval 1 2 18",
                                           "seq 1 2 on")):
        expect("--serial", "BBB02", "show", out="Unit 1, serial BBB02\nOutput 1: input 3 (35 dB pad in)\n"
               "  pads in on inputs: 3\n  auto-sequencing: off, interval disabled, inputs: none\nOutput 2: no input\n"
               "  pads in on inputs: none\n  auto-sequencing: on, interval 9.0 s, inputs: 1,3\n")
        expect("--unit", "1", "show", "--json", out='{"unit":1,"serial":"BBB02","outputs":['
               '{"output":1,"input":3,"padMask":4,"pads":[3],"autoSequencing":{"on":false,"intervalCode":0,'
               '"intervalSeconds":0.0,"inputMask":0,"inputs":[]}},{"output":2,"input":0,"padMask":0,"pads":[],'
               '"autoSequencing":{"on":true,"intervalCode":18,"intervalSeconds":9.0,"inputMask":5,"inputs":[1,3]}}]}\n')
        expect("list", out=P(r"0  AAA01  [^\n]+\n1  BBB02  [^\n]+-001\n"))
        expect("list", "--json", out=P(r'\{"units":\[\{"unit":0,"serial":"AAA01","path":"[^"]+"\},'
                                       r'\{"unit":1,"serial":"BBB02","path":"[^"]+-001"\}\]\}\n'))
        expect("--unit", "2", "show", status=3, err=("there is no unit 2",))
        expect("--serial", "ZZZ99", "show", status=3)

        # A host may write any byte into a serial number: it is shown whole.
        # (No NUL byte passes a command line; this side's library does not reach Wine's units, and
        # its sanitizer build cannot be loaded into Python, so there it is given as "-".)
        if wine or library == "-":
            byte = "01"
            expect("--unit", "1", "serial", "--set", "B\x01\x7f 2")
        else:
            byte, corvhid, number = "00", ctypes.CDLL(library), ctypes.c_short(-1)
            wrote = [corvhid.FindFirstCorvil(ctypes.byref(number)), corvhid.FindNextCorvil(ctypes.byref(number)),
                     corvhid.WriteCorvilSerialNumberA(number, b"B\0\x7f 2")]  # success: -1 as a short
            corvhid.DoneFindingCorvils(), corvhid.CleanupCorvil()
            check([w & 0xffff for w in wrote] == [0xffff] * 3, "the library writes unit 1's serial")
        expect("list", out=(f"\n1  B\\x{byte}\\x7f\\x202  ",))
        expect("--unit", "1", "serial", out=f"B\\x{byte}\\x7f\\x202\n")
        expect("--unit", "1", "serial", "--json", out=f'{{"unit":1,"serial":"B\\u00{byte}\\u007f 2"}}\n')


def changes_reach_the_unit_keep_what_they_do_not_touch_and_failures_give_the_librarys_text():
    with units("AAA01", "BBB02", commands=("route 1 1 6", "pad 1 2 8 on")) as emulator:
        expect("--serial", "BBB02", "route", "2", "5")
        unit(emulator, "outputs 1", "ok count=1 last=03 05 ff 80 00")
        expect("--unit", "1", "pad", "1", "3", "on")
        expect("--unit", "1", "seq", "1", "--inputs", "1,3", "--interval", "2.0", "on")
        unit(emulator, "state 1", "ok input1=6 input2=5 pads1=0x04 pads2=0x80 seqinputs1=0x05 seqinputs2=0x00 "
                                  "seqcontrol1=0x84 seqcontrol2=0x00 serial=BBB02")
        expect("--unit", "1", "seq", "1", "off")
        unit(emulator, "state 1", ("seqinputs1=0x05 seqinputs2=0x00 seqcontrol1=0x04",))
        # A channel without inputs goes out off, as the switcher sends it; so does
        # the other channel's unit-reported on bit with an empty mask.
        emulator.do("seq 1 2 on")
        expect("--unit", "1", "seq", "1", "--inputs", "none", "--interval", "9.0", "on",
               err=("output 1 includes no input",))
        unit(emulator, "outputs 1", "ok count=5 last=04 00 00 00 12")
        unit(emulator, "state 0", ("input1=0 input2=0 pads1=0x00",))  # unit 0 untouched
        expect("serial", "--set", "NEW01")
        unit(emulator, "state 0", ("serial=NEW01",))
        emulator.do("silence 0 on")
        expect("show", status=1, err="corvilctl: could not read the settings: Corvil not responding.\n")


def watch_prints_each_change():
    with units("EMU01") as emulator:
        def changing():  # the unit while a watcher runs, until it has seen two changes (an unplugging ends it)
            steps = chain(islice(cycle(("route 0 1 2", "route 0 1 1")), 600), repeat("unplug 0"))
            return lambda: (emulator.command(next(steps)), time.sleep(0.05))

        # The state as first read, then the two changes: each line printed is a
        # change, so no input repeats the one before it.
        rest = r" input2=0 pads1=0x00 pads2=0x00\n"
        expect("watch", "--changes", "2", meanwhile=changing(), out=P(
            r"settings: input1=([0-2])" + rest + r"auto-sequencing: inputs1=0x00 inputs2=0x00 control1=0x00 "
            r"control2=0x00\nsettings: input1=(?!\1)([12])" + rest + r"settings: input1=(?!\2)[12]" + rest))
        expect("watch", "--json", "--changes", "2", meanwhile=changing(), out=P(
            r'\{"record":"settings","input1":[0-2],"input2":0,"padMask1":0,"padMask2":0\}\n\{"record":'
            r'"autoSequencing","inputMask1":0,"inputMask2":0,"control1":0,"control2":0\}\n'
            r'(\{"record":"settings","input1":[12],[^\n]*\n){2}'))
        # Raw: each report with its time and its bytes as they travel, channel 2 first.
        emulator.do("route 0 1 3", "pad 0 2 5 on")
        expect("watch", "--raw", "--count", "4",
               out=[P(r"( +[0-9]+\.[0-9]{3}  0[34]( [0-9a-f]{2}){4}\n){4}"), ("  03 00 03 10 00\n",)])
        expect("watch", "--raw", "--json", "--count", "4", out=[
            P(r'(\{"seconds":[0-9]+\.[0-9]{3},"report":\[[34](,[0-9]+){4}\]\}\n){4}'), ('"report":[3,0,3,16,0]}\n',)])


def diagnostics_say_why_each_interface_is_passed_over():
    """A machine with a mouse, an old Corvil and two current ones, one of which
    this user may not open: what `list --all`, `show` and `doctor` tell."""
    root = scratch("corvil-sysfs-")
    os.chmod(root, 0o755)
    sys_, dev, rules = root + "/sys", root + "/dev", root + "/rules"
    for name, ids, version in (("hidraw0", "046D:0000C52B", "1201"), ("hidraw1", "1049:00000001", "00ff"),
                               ("hidraw2", "1049:00000001", "0100"), ("hidraw3", "1049:00000001", "0100")):
        hid = f"{sys_}/devices/pci0/usb1/1-{name}/1-1:1.0/hid-{name}"  # a HID interface in a USB device
        for folder in (f"{hid}/hidraw/{name}", f"{sys_}/class/hidraw", dev):
            os.makedirs(folder, exist_ok=True)
        for path, text in ((f"{hid}/../../bcdDevice", version + "\n"), (f"{dev}/{name}", ""),
                           (f"{hid}/uevent", f"DRIVER=hid-generic\nHID_ID=0003:0000{ids}\nHID_NAME=test\n")):
            pathlib.Path(path).write_text(text)
        os.symlink(f"{hid}/hidraw/{name}", f"{sys_}/class/hidraw/{name}")
        os.symlink(hid, f"{hid}/hidraw/{name}/device")
    locked, usable, rule_dir = dev + "/hidraw2", dev + "/hidraw3", rules + "/usr/lib/udev/rules.d"
    os.chmod(usable, 0o666)
    # Root opens anything: the commands then run as an ordinary user.
    as_root = os.geteuid() == 0
    os.chmod(locked, 0o600 if as_root else 0)
    how = dict(env=dict(os.environ, CORVILCTL_SYSFS_ROOT=sys_, CORVILCTL_DEV_ROOT=dev, CORVILCTL_RULES_ROOT=rules),
               prefix=("/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups") if as_root else ())
    not_open = locked + "  1049:0001 version 0x0100  passed over: a Corvil this user may not open (permission denied): "

    # No udev rule installed yet: the advice is to install it.
    expect("list", "--all", **how, out=(
        dev + "/hidraw1  1049:0001 version 0x00ff  passed over: a Corvil whose version",
        not_open + "no udev rule 70-corvil.rules is installed: install the package libcorvhid1",
        usable + "  1049:0001 version 0x0100  a Corvil this user may open\n"))
    expect("doctor", **how, status=1, out=("problem: only root may open a unit: no udev rule",))

    # The rule installed (by the package): the unit was attached before it, so
    # plugging it in again is the way; nothing tells the user to copy the rule.
    os.makedirs(rule_dir)
    pathlib.Path(rule_dir + "/70-corvil.rules").write_text("# the rule\n")
    expect("list", "--all", **how, out=[lambda text: "sudo cp" not in text and "copy" not in text, (
        not_open + "the udev rule " + rule_dir + "/70-corvil.rules gives the unit to the user logged in at the "
                   "machine's seat: plug the unit in again", "SCRIPTS AND SERVICES")])
    expect("show", **how, status=3, err=(locked + " is a Corvil this user may not open",))
    expect("doctor", **how, status=1, out=("problem: " + locked + ": a Corvil this user may not open",
                                           "ok: " + usable + ": a Corvil this user may open",
                                           "ok: udev rule: " + rule_dir + "/70-corvil.rules\n", "rendezvous"))
    expect("doctor", "--json", **how, status=1, out=[
        lambda text: text.startswith('{"checks":[{"level":"ok","text":"udev rule: '),
        ('{"level":"problem","text":"' + locked + ': a Corvil this user may not open',)])
    expect("list", "--all", "--json", **how, out=(
        '{"units":[],"interfaces":[{"path":"' + dev + '/hidraw0","ids":"046d:c52b version 0x1201","corvil":false,'
        '"usable":false,"reason":"another vendor', '{"path":"' + usable + '","ids":"1049:0001 version 0x0100",'
        '"corvil":true,"usable":true,"reason":"a Corvil this user may open"}]}\n'))


run_cases("corvilctl", no_unit_and_bad_arguments, list_show_and_selection, watch_prints_each_change,
    changes_reach_the_unit_keep_what_they_do_not_touch_and_failures_give_the_librarys_text,
    *(() if wine else (diagnostics_say_why_each_interface_is_passed_over,)))
