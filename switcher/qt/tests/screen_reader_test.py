#!/usr/bin/python3
"""Corvil Switcher as a screen reader meets it: over the accessibility bus.

The controls' names, roles, states and actions are proven in-process
(QtWindows.ScreenReadersReadEachControlsNameRoleAndState); here the running
program reaches a screen reader with them. Run inside a session bus and an X
display of its own (dbus-run-session under xvfb-run).

usage: screen_reader_test.py SWITCHER EMULATOR
"""
import contextlib
import os
import subprocess
import sys

import pyatspi

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "..", "testing"))
from harness import Emulator, private_rendezvous, wait_for  # noqa: E402


def need(what, probe):
    """What probe() finds, waited for generously (a busy machine)."""
    return wait_for(probe, 30, 0.1) or sys.exit(f"gave up waiting for {what}")


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


switcher, emulator = sys.argv[1], sys.argv[2]
os.environ.update(private_rendezvous())  # this unit only
with contextlib.ExitStack() as stack:
    # The accessibility bus first, so that the program finds it at start.
    subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus",
                    "org.a11y.Bus.GetAddress"], check=True, stdout=subprocess.DEVNULL)
    unit = stack.enter_context(Emulator(emulator, serials=["SRD01"], commands=["route 0 1 2"]))
    program = subprocess.Popen([switcher], env=dict(os.environ, QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1"))
    stack.callback(lambda: (program.terminate(), program.wait(timeout=10)))

    app = need("Corvil Switcher on the bus", lambda: child(pyatspi.Registry.getDesktop(0), "Corvil Switcher"))
    window = need("the main window", lambda: child(app, "Corvil Switcher"))
    display = need("the display box", lambda: descendant(window, "text", "Output Channel 1 input"))
    need("input 2 read out", lambda: text_of(display) == "2")
    unit.command("route 0 1 5")
    need("a front-panel change read out", lambda: text_of(display) == "5")
    option = descendant(window, "radio button", "Input 3 to Output Channel 2")
    option.queryAction().doAction(0)
    need("the unit routing input 3 to output 2", lambda: "input2=3 " in unit.command("state 0"))
    need("the option read out as checked", lambda: option.getState().contains(pyatspi.STATE_CHECKED))
print("read over the accessibility bus; the unit followed a control's action")
