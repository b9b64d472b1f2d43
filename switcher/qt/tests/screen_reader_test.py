#!/usr/bin/python3
"""Corvil Switcher as a screen reader meets it: over the accessibility bus.

The controls' names, roles, states and actions are proven in-process
(QtWindows.ScreenReadersReadEachControlsNameRoleAndState); here the running
program reaches a screen reader with them. Run inside its own session bus
(dbus-run-session); it starts its own X display.

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


def wait_for(what, probe, seconds=30.0):
    """Polls probe() until it gives something true; generous for a busy machine."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        with contextlib.suppress(Exception):  # the tree may change under a walk
            found = probe()
            if found:
                return found
        time.sleep(0.1)
    raise SystemExit(f"gave up waiting for {what}")


def child(acc, name):
    return next((c for c in acc if c is not None and c.name == name), None)


def descendant(acc, role, name):
    for c in acc:
        if c is None:
            continue
        if c.getRoleName() == role and c.name == name:
            return c
        found = descendant(c, role, name)
        if found:
            return found
    return None


def text_of(acc):
    t = acc.queryText()
    return t.getText(0, t.characterCount)


def start_display():
    """An X display of its own: Xvfb picks a free number and says which."""
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
        unit = subprocess.Popen([emulator, "--serial", "SRD01"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                text=True, bufsize=1)
        stack.callback(lambda: (unit.stdin.close(), unit.wait(timeout=10)))

        def say(command):
            unit.stdin.write(command + "\n")
            return unit.stdout.readline().strip()

        if unit.stdout.readline().strip() != "ready" or say("route 0 1 2") != "ok":
            raise SystemExit("corvil-emulator did not start")
        env = dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
        program = subprocess.Popen([switcher], env=env)
        stack.callback(lambda: (program.terminate(), program.wait(timeout=10)))

        app = wait_for("Corvil Switcher on the bus", lambda: child(pyatspi.Registry.getDesktop(0), "Corvil Switcher"))
        window = wait_for("the main window", lambda: child(app, "Corvil Switcher"))
        display = wait_for("the display box", lambda: descendant(window, "text", "Output Channel 1 input"))
        wait_for("input 2 read out", lambda: text_of(display) == "2")
        say("route 0 1 5")
        wait_for("a front-panel change read out", lambda: text_of(display) == "5")
        option = descendant(window, "radio button", "Input 3 to Output Channel 2")
        option.queryAction().doAction(0)
        wait_for("the unit routing input 3 to output 2", lambda: "input2=3 " in say("state 0"))
        wait_for("the option read out as checked", lambda: option.getState().contains(pyatspi.STATE_CHECKED))
    print("read over the accessibility bus; the unit followed a control's action")
    return 0


if __name__ == "__main__":
    sys.exit(main())
