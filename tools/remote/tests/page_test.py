"""The remote's page in a real browser (headless Chromium) against an emulated
unit: taps reach the unit, the front panel and the unit's loss reach the page,
the page finds the program again (scripts/run-remote saves the page's screenshots for a look).
usage: page_test.py REMOTE EMULATOR"""
import os
import sys
import time

from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "..", "testing"))
from harness import Emulator, Remote, browser, check, finish, private_rendezvous, scratch, wait_for  # noqa: E402

remote_program, emulator_program = sys.argv[1:3]
env = private_rendezvous()


def control(label):
    return driver.find_element(By.CSS_SELECTOR, f'input[aria-label="{label}"]')


def text(selector):
    return driver.find_element(By.CSS_SELECTOR, selector).text


emulator = Emulator(emulator_program, serials=["DEMO1"], env=env)
remote = Remote(remote_program, env=env)
driver = browser()
try:
    driver.set_window_size(360, 800)
    driver.get(remote.url)
    check(wait_for(lambda: (text(".state"), text("#status")) == ("Connected", "Live"), 10),
          "the page shows unit DEMO1 connected, and itself live")

    driver.find_element(By.XPATH, '//input[@aria-label="Input 3 to output 1"]/..').click()
    check(wait_for(lambda: "input1=3 " in emulator.command("state 0")), "a tap on Input 3 routes it to output 1")
    control("35 dB pad on input 3, output 1").send_keys(" ")  # from the keyboard
    check(wait_for(lambda: "pads1=0x04" in emulator.command("state 0")), "the space bar puts a pad in")
    check(wait_for(lambda: "35 dB pad" in text('section[aria-label="Corvil DEMO1"] .grid')),
          "the routed input shows its pad")
    control("Auto-sequence output 2 through input 2").click()
    control("Auto-sequence output 2 through input 6").click()
    Select(driver.find_element(By.CSS_SELECTOR, 'select[aria-label="Auto-sequencing interval of output 2"]')) \
        .select_by_visible_text("1.5 seconds")
    check(wait_for(lambda: "seqinputs2=0x22 seqcontrol1=0x00 seqcontrol2=0x03" in emulator.command("state 0")),
          "auto-sequencing inputs and interval")

    # The front panel shows on the page within a second (timed by the page's clock, not the test's polling).
    driver.execute_script("""window.seenAt = 0; const e = document.querySelector('input[aria-label="Input 5 to output 2"]');
        const t = setInterval(() => { if (e.checked) { window.seenAt = Date.now(); clearInterval(t); } }, 2);""")
    start = time.time() * 1000
    emulator.command("route 0 2 5")
    wait_for(lambda: driver.execute_script("return window.seenAt") > 0, 5)
    took = driver.execute_script("return window.seenAt") - start
    check(0 < took < 1000, f"a front-panel change appears on the page ({took:.0f} ms)")

    emulator.command("unplug 0")
    check(wait_for(lambda: text(".state").startswith("Not connected"), 3), "an unplugged unit shows as not connected")
    check(not control("Input 1 to output 1").is_enabled(), "its controls are disabled")
    emulator.command("plug 0")
    check(wait_for(lambda: text(".state") == "Connected", 5), "the unit plugged in again shows as connected")

    remote.stop()
    check(wait_for(lambda: "not reachable" in text("#status") and "not reachable" in text(".state"), 5),
          "the page says the program is gone, and the unit's state unknown")
    remote = Remote(remote_program, port=remote.port, env=env)
    check(wait_for(lambda: text("#status") == "Live", 10), "the page finds the program again")
    emulator.command("route 0 1 8")
    check(wait_for(lambda: control("Input 8 to output 1").is_selected(), 3), "and follows the unit again")
    # No error in the browser's console so far but the refused connections while the program was away.
    errors = [e for e in driver.get_log("browser") if e["level"] == "SEVERE"
              and "ERR_CONNECTION_REFUSED" not in e["message"]]
    check(not errors, f"no other errors in the browser's console {errors}")

    # With an access token: the page takes it from the printed address once and keeps it.
    remote.stop()
    remote = Remote(remote_program, "--token-file", scratch("corvil-remote-token-") + "/token", env=env)
    driver.get(remote.url)
    check(wait_for(lambda: text("#status") == "Live" and text(".state") == "Connected", 10), "the page opens with it")
    check("token" not in driver.current_url, "and takes it out of the address bar")
    driver.get(remote.base + "/")
    check(wait_for(lambda: text("#status") == "Live", 10), "a later visit without it still works")
    driver.execute_script("localStorage.clear()")
    driver.get(remote.base + "/")
    check(wait_for(lambda: "access token" in text("#status"), 10), "without it the page says what to do")
finally:
    driver.quit()
    remote.stop()
    emulator.stop()

finish("page test")
