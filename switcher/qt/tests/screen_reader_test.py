#!/usr/bin/python3
"""Corvil Switcher as a screen reader meets it: through the accessibility bus.

Run inside its own session bus (the test registration wraps it in
dbus-run-session); it starts its own X display. Starts a virtual unit and corvil-switcher,
then reads every control a user can reach by its role and name, opens both
configuration windows and changes the unit the way a screen-reader user
would (the controls' own actions), and reads back what the unit reports.

usage: screen_reader_test.py SWITCHER EMULATOR
"""
import contextlib
import os
import shutil
import subprocess
import sys
import tempfile
import time

import pyatspi

SERIAL = "SRD01"
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAILED:", what, flush=True)


def wait_for(what, probe, seconds=30.0):
    """Polls probe() until it gives something true; generous for a busy machine."""
    deadline = time.monotonic() + seconds
    while True:
        try:
            found = probe()
        except Exception:  # the tree may change under a walk; try again
            found = None
        if found:
            return found
        if time.monotonic() > deadline:
            raise SystemExit(f"gave up waiting for {what}")
        time.sleep(0.1)


def descendants(acc):
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        if child is None:
            continue
        yield child
        yield from descendants(child)


def application():
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == "Corvil Switcher":
            return app
    return None


def window(app, title):
    for i in range(app.childCount):
        w = app.getChildAtIndex(i)
        if w is not None and w.name == title:
            return w
    return None


READABLE = {"push button", "radio button", "check box", "text", "combo box"}


def labelled_by(acc):
    for relation in acc.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            return relation.getTarget(0).name
    return None


def controls(win):
    """(role, name) -> the control, for every control a user can reach. A
    list is read out by the label that says it, as screen readers do."""
    found = {}
    for acc in descendants(win):
        role = acc.getRoleName()
        if role == "text" and acc.parent.getRoleName() == "combo box":
            continue  # a list's entry field is read as part of the list
        if role in READABLE:
            key = (role, labelled_by(acc) if role == "combo box" else acc.name)
            check(key not in found, f"{key} twice in {win.name}")
            found[key] = acc
    return found


def checked(acc):
    return acc.getState().contains(pyatspi.STATE_CHECKED)


def text_of(acc):
    t = acc.queryText()
    return t.getText(0, t.characterCount)


class Unit:
    def __init__(self, emulator):
        self.process = subprocess.Popen([emulator, "--serial", SERIAL], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True, bufsize=1)
        if self.process.stdout.readline().strip() != "ready":
            raise SystemExit("corvil-emulator did not start")

    def say(self, command):
        self.process.stdin.write(command + "\n")
        answer = self.process.stdout.readline().strip()
        if not answer.startswith("ok"):
            raise SystemExit(f"corvil-emulator: {command}: {answer}")
        return answer

    def state(self):
        return dict(kv.split("=") for kv in self.say("state 0").split()[1:])

    def close(self):
        self.process.stdin.write("quit\n")
        self.process.stdin.close()
        self.process.wait(timeout=10)


def expected_main():
    names = {("push button", "Attenuator Configuration"), ("push button", "Auto- Sequencing Configuration")}
    for out in (1, 2):
        names.add(("text", f"Output Channel {out} input"))
        names.add(("check box", f"Auto-Sequence On Output Channel {out}"))
        names.add(("radio button", f"No Input to Output Channel {out}"))
        for inp in range(1, 9):
            names.add(("radio button", f"Input {inp} to Output Channel {out}"))
    return names


def expected_grid(extra=()):
    names = set(extra)
    for out in (1, 2):
        for inp in range(1, 9):
            names.add(("check box", f"Input {inp} Output Channel {out}"))
    return names


def start_display():
    """An X display of its own: Xvfb picks a free number and says which, so
    that tests running side by side never share or race for one."""
    read, write = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1280x900x24", "-nolisten", "tcp"],
                              pass_fds=(write,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    with os.fdopen(read) as numbers:
        number = numbers.readline().strip()
    if not number:
        raise SystemExit("Xvfb did not start")
    os.environ["DISPLAY"] = ":" + number
    os.environ.pop("XAUTHORITY", None)
    return server


def read_and_use(unit):
    app = wait_for("Corvil Switcher on the accessibility bus", application)
    main_window = wait_for("the main window", lambda: window(app, "Corvil Switcher"))
    wait_for("the serial number read out", lambda: any(
        acc.getRoleName() == "label" and f"Serial No. {SERIAL}" in acc.name for acc in descendants(main_window)))

    found = controls(main_window)
    check(set(found) == expected_main(),
          f"main window: missing {sorted(expected_main() - set(found))}, unexpected {sorted(set(found) - expected_main())}")

    # What the unit says is what is read out: the display box and the option button.
    display = found[("text", "Output Channel 1 input")]
    wait_for("input 2 read out", lambda: text_of(display) == "2")
    check(checked(found[("radio button", "Input 2 to Output Channel 1")]), "Input 2 to Output Channel 1 is on")
    unit.say("route 0 1 5")
    wait_for("a front-panel change read out", lambda: text_of(display) == "5")
    check(checked(found[("radio button", "Input 5 to Output Channel 1")]), "Input 5 to Output Channel 1 is on")
    check(not checked(found[("radio button", "Input 2 to Output Channel 1")]), "Input 2 to Output Channel 1 is off")

    # A screen-reader user routes by the option button's own action.
    found[("radio button", "Input 3 to Output Channel 2")].queryAction().doAction(0)
    wait_for("the unit routing input 3 to output 2", lambda: unit.state()["input2"] == "3")

    found[("push button", "Attenuator Configuration")].queryAction().doAction(0)
    pads = wait_for("the attenuator window", lambda: window(app, "Attenuator Configuration"))
    grid = wait_for("the attenuator grid", lambda: controls(pads) or None)
    check(set(grid) == expected_grid(), f"attenuator window: {sorted(set(grid) ^ expected_grid())}")
    grid[("check box", "Input 2 Output Channel 2")].queryAction().doAction(0)
    wait_for("the pad on input 2, output 2", lambda: int(unit.state()["pads2"], 16) == 0x02)

    found[("push button", "Auto- Sequencing Configuration")].queryAction().doAction(0)
    seq = wait_for("the auto-sequencing window", lambda: window(app, "Auto-Sequencing Configuration"))
    lists = {("combo box", f"Output Channel {out} Auto-Sequencing Time Interval:") for out in (1, 2)}
    grid = wait_for("the auto-sequencing grid", lambda: controls(seq) or None)
    check(set(grid) == expected_grid(lists), f"auto-sequencing window: {sorted(set(grid) ^ expected_grid(lists))}")
    grid[("check box", "Input 4 Output Channel 1")].queryAction().doAction(0)
    wait_for("input 4 in output 1's sequence", lambda: int(unit.state()["seqinputs1"], 16) == 0x08)


def main():
    switcher, emulator = sys.argv[1], sys.argv[2]
    os.environ["XDG_RUNTIME_DIR"] = tempfile.mkdtemp(prefix="corvil-a11y-")
    with contextlib.ExitStack() as stack:
        stack.callback(shutil.rmtree, os.environ["XDG_RUNTIME_DIR"], True)
        screen = start_display()
        stack.callback(lambda: (screen.terminate(), screen.wait(timeout=10)))
        # The accessibility bus first, so that the program finds it at start.
        subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                        "org.a11y.Bus.GetAddress"], check=True, stdout=subprocess.DEVNULL)
        unit = Unit(emulator)
        stack.callback(unit.close)
        unit.say("route 0 1 2")
        env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        program = subprocess.Popen([switcher], env=env)
        stack.callback(lambda: (program.terminate(), program.wait(timeout=10)))
        read_and_use(unit)
    if failures:
        print(f"{len(failures)} failed")
        return 1
    print("every control read out by its name; the unit followed the controls' actions")
    return 0


if __name__ == "__main__":
    sys.exit(main())
