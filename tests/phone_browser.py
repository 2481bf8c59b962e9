#!/usr/bin/python3
"""The phone page in a real browser: Chromium headless driven by Selenium against a running server.

    phone_browser.py serve PHONESERVE          the page's server on its own (tests/phoneserve.cpp)
    phone_browser.py party PARTY SONG           tralune-party on a private Xvfb, SONG an MP3 for its songs

Starts the server in a scratch folder, then as a guest: enters a name, searches with an accent-free
spelling, queues a song and sees it in the queue, finds the song with a hostile title shown as its
characters (no script run), and, as the host, skips with the PIN. With the party: the QR code read
back from its screen (xwd, zbarimg) is the address the terminal shows, the page is opened at that
address, the queued song is heard (a stand-in mpg123 records each start) and the host's skip ends it
and starts the next. Exit status 0 when every step held; otherwise the step that failed and the
server's output."""

import os
import shutil
import subprocess
import sys
import tempfile
import time

from selenium import webdriver
from selenium.common.exceptions import NoAlertPresentException, TimeoutException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

HOSTILE = "<script>alert(1)</script>"


def fail(why, log=None):
    print("FAILED: " + why)
    if log and os.path.exists(log):
        print("--- server output ---")
        print(open(log, errors="replace").read())
    sys.exit(1)


def browser(scratch):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                "--window-size=412,915", "--user-data-dir=" + os.path.join(scratch, "profile")):
        options.add_argument(arg)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def wait(driver, what, test, seconds=30):
    try:
        return WebDriverWait(driver, seconds, poll_frequency=0.1).until(lambda d: test(d))
    except TimeoutException:
        fail(what + "; the page shows:\n" + driver.find_element(By.TAG_NAME, "body").text)


def no_alert(driver):
    try:
        text = driver.switch_to.alert.text
        fail("a script ran from a title (alert: %r)" % text)
    except NoAlertPresentException:
        pass


def results(driver):
    return driver.find_elements(By.CSS_SELECTOR, "#results li")


def queue_text(driver):
    return driver.find_element(By.ID, "queue").text


def guest_and_host(url, pin, log, heard=None):
    scratch = tempfile.mkdtemp(prefix="tralune-browser-")
    driver = browser(scratch)
    try:
        driver.get(url)
        name = wait(driver, "the page did not load", lambda d: d.find_element(By.ID, "name"))
        name.send_keys("Ana")
        search = driver.find_element(By.ID, "search")
        search.send_keys("bjork")
        found = wait(driver, "searching 'bjork' found no song",
                     lambda d: [li for li in results(d) if "J\u00f3ga" in li.text])
        found[0].find_element(By.TAG_NAME, "button").click()
        wait(driver, "the queued song did not appear in the queue",
             lambda d: "J\u00f3ga" in queue_text(d) + d.find_element(By.ID, "playing").text
             and "Ana" in queue_text(d) + d.find_element(By.ID, "playing").text)
        if heard:
            heard()

        # The name is remembered on the phone.
        driver.refresh()
        wait(driver, "the name was not remembered after a reload",
             lambda d: d.find_element(By.ID, "name").get_attribute("value") == "Ana")

        search = driver.find_element(By.ID, "search")
        search.send_keys("nobody")
        found = wait(driver, "searching 'nobody' found no song",
                     lambda d: [li for li in results(d) if "Nobody" in li.text])
        title = found[0].find_element(By.CLASS_NAME, "title").text
        if title != HOSTILE:
            fail("the hostile title shows as %r" % title)
        found[0].find_element(By.TAG_NAME, "button").click()
        wait(driver, "the hostile title did not appear in the queue as its characters",
             lambda d: HOSTILE in queue_text(d))
        no_alert(driver)
        if driver.execute_script("return document.querySelectorAll('#queue script, #results script').length") != 0:
            fail("a title made a script element")

        # The host's skip: refused without the PIN, done with it.
        driver.find_element(By.CSS_SELECTOR, "#host summary").click()
        driver.find_element(By.ID, "skip").click()
        wait(driver, "skipping without a PIN was not refused",
             lambda d: "PIN" in d.find_element(By.ID, "message").text)
        driver.find_element(By.ID, "pin").send_keys(pin)
        return driver, scratch
    except BaseException:
        driver.quit()
        shutil.rmtree(scratch, ignore_errors=True)
        raise


def serve(phoneserve):
    scratch = tempfile.mkdtemp(prefix="tralune-phoneserve-")
    portfile = os.path.join(scratch, "port")
    log = os.path.join(scratch, "server.log")
    with open(log, "w") as out:
        server = subprocess.Popen([phoneserve, scratch, portfile], stdout=out, stderr=subprocess.STDOUT)
    driver = None
    try:
        for _ in range(200):
            if os.path.exists(portfile) or server.poll() is not None:
                break
            time.sleep(0.05)
        if not os.path.exists(portfile):
            fail("the server did not start", log)
        url = "http://127.0.0.1:%s/" % open(portfile).read().strip()
        driver, profile = guest_and_host(url, "2468", log)
        # No song plays without the party: the skip is refused for that reason, not for the PIN.
        driver.find_element(By.ID, "skip").click()
        wait(driver, "the skip with the PIN was not taken",
             lambda d: "No song is playing" in d.find_element(By.ID, "message").text)
        # A wrong PIN is refused in words.
        pin = driver.find_element(By.ID, "pin")
        pin.clear()
        pin.send_keys("1111")
        driver.find_element(By.ID, "skip").click()
        wait(driver, "a wrong PIN was not refused", lambda d: "Wrong PIN" in d.find_element(By.ID, "message").text)
        driver.quit()
        shutil.rmtree(profile, ignore_errors=True)
        # The server ends cleanly when asked (a sanitizer's report would end it with another status).
        server.terminate()
        if server.wait(30) != 0:
            fail("the server ended with status %d" % server.returncode, log)
        print("the page held: name, search, queue, hostile title, host PIN")
    finally:
        if server.poll() is None:
            server.kill()
            server.wait(10)
        shutil.rmtree(scratch, ignore_errors=True)


def library(folder, song):
    os.makedirs(folder)
    for stem, tags in (("Bj\u00f6rk - J\u00f3ga", ""), ("Abba - Waterloo", ""),
                       ("Nobody - Hostile", "[ar:Nobody]\n[ti:%s]\n" % HOSTILE)):
        with open(os.path.join(folder, stem + ".lrc"), "w") as f:
            f.write(tags + "[00:01.00]La la la\n[00:03.00]La la\n")
        shutil.copy(song, os.path.join(folder, stem + ".mp3"))


def freeport():
    import socket
    s = socket.socket()
    s.bind(("", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def xvfb(scratch):
    r, w = os.pipe()
    server = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "640x480x24", "-nolisten", "tcp",
                               "-noreset"], pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    # The number comes with a line feed once the server takes connections; a read may return part.
    number = b""
    while not number.endswith(b"\n"):
        part = os.read(r, 64)
        if not part:
            break
        number += part
    number = number.decode().strip()
    os.close(r)
    if not number:
        fail("Xvfb did not start")
    return server, ":" + number


def screen_code(display, scratch):
    """The text of the QR code on the screen, read back with xwd and zbarimg; "" when none is found."""
    shot = os.path.join(scratch, "screen.png")
    env = dict(os.environ, DISPLAY=display)
    xwd = subprocess.run(["xwd", "-root", "-silent"], env=env, capture_output=True)
    if xwd.returncode != 0:
        return ""
    subprocess.run(["/usr/bin/convert", "xwd:-", shot], input=xwd.stdout, capture_output=True)
    z = subprocess.run(["zbarimg", "--raw", "-q", shot], capture_output=True, text=True)
    return z.stdout.strip()


def starts(log):
    return open(log).read().splitlines() if os.path.exists(log) else []


def party(binary, song):
    scratch = tempfile.mkdtemp(prefix="tralune-party-browser-")
    log = os.path.join(scratch, "party.log")
    played = os.path.join(scratch, "played.log")
    stub = os.path.join(scratch, "stub")
    os.makedirs(stub)
    # The stand-in song player records where and with what it was started, then plays for a minute
    # unless the party stops it.
    with open(os.path.join(stub, "mpg123"), "w") as f:
        f.write("#!/bin/sh\necho \"$PWD $*\" >>'%s'\nexec sleep 60\n" % played)
    os.chmod(os.path.join(stub, "mpg123"), 0o755)
    library(os.path.join(scratch, "songs"), song)
    x, display = xvfb(scratch)
    env = dict(os.environ, DISPLAY=display, SDL_VIDEODRIVER="x11", PATH=stub + ":" + os.environ["PATH"],
               XDG_DATA_HOME=os.path.join(scratch, "data"), XDG_CACHE_HOME=os.path.join(scratch, "cache"),
               HOME=scratch)
    port = freeport()
    with open(log, "w") as out:
        p = subprocess.Popen([binary, "--port", str(port), "--pin", "2468", "--countdown", "1",
                              os.path.join(scratch, "songs")], env=env, stdout=out, stderr=subprocess.STDOUT)
    driver = None
    try:
        url = ""
        for _ in range(100):
            lines = [l for l in open(log).read().splitlines() if l.startswith("Phones: ")]
            if lines:
                url = lines[0][len("Phones: "):]
                break
            if p.poll() is not None:
                fail("the party ended at start", log)
            time.sleep(0.1)
        if not url.endswith(":%d/" % port):
            fail("the terminal shows no address on port %d" % port, log)
        code = ""
        for _ in range(40):
            code = screen_code(display, scratch)
            if code:
                break
            time.sleep(0.25)
        if code != url:
            fail("the QR code on the screen reads %r, the terminal shows %r" % (code, url), log)

        driver, profile = guest_and_host(url, "2468", log, heard=lambda: wait_heard(played, 1, log))
        # The host skips the song playing: its player is stopped, and the next song (the hostile
        # title) starts.
        driver.find_element(By.ID, "skip").click()
        wait(driver, "the skip with the PIN was not taken", lambda d: "Skipped" in d.find_element(By.ID, "message").text)
        wait_heard(played, 2, log)
        wait(driver, "the page does not show the next song playing",
             lambda d: HOSTILE in d.find_element(By.ID, "playing").text)
        no_alert(driver)
        driver.quit()
        driver = None
        shutil.rmtree(profile, ignore_errors=True)
        print("the party held: address, QR code, name, search, queue, heard, hostile title, host skip")
    finally:
        if driver:
            driver.quit()
        p.terminate()
        try:
            p.wait(10)
        except subprocess.TimeoutExpired:
            p.kill()
        x.terminate()
        x.wait(10)
        shutil.rmtree(scratch, ignore_errors=True)


def wait_heard(played, count, log):
    for _ in range(300):
        if len(starts(played)) >= count:
            return
        time.sleep(0.1)
    fail("song %d was not heard: the song player was started %d times" % (count, len(starts(played))), log)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "serve":
        serve(sys.argv[2])
    elif len(sys.argv) == 4 and sys.argv[1] == "party":
        party(sys.argv[2], sys.argv[3])
    else:
        print(__doc__)
        sys.exit(2)
