#!/usr/bin/python3
"""The page in headless Chromium: every console transcript typed into it
gives the console's output exactly; Stop and Ctrl-C keep the variables;
history, Tab completion, the share link, a reload and offline use.

    /usr/bin/python3 tests/web/browser_test.py SITE_DIR TRANSCRIPT_DIR

(Debian's python3-selenium imports only in /usr/bin/python3.)
"""
import functools
import http.server
import pathlib
import shutil
import sys
import tempfile
import threading
import time
import unittest
import urllib.parse

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

SITE = pathlib.Path(sys.argv[1]).resolve()
TRANSCRIPTS = pathlib.Path(sys.argv[2]).resolve()
PROMPT = "Please input expression."
LONG_LOOP = "sigma(i,1,2000000000,i)"


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def console_lines(data):
    """The lines the console reads: CR LF as LF, a last line without LF."""
    text = data.decode("utf-8").replace("\r\n", "\n")
    lines = text.split("\n")
    if lines[-1] == "":
        lines.pop()
    return lines


def wait_for(condition, timeout=20.0, what="condition"):
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out waiting for {what}")
        time.sleep(0.02)


class Page(unittest.TestCase):
    @classmethod
    def serve(cls, port):
        cls.server = http.server.ThreadingHTTPServer(
            ("127.0.0.1", port), functools.partial(QuietHandler, directory=str(SITE)))
        threading.Thread(target=cls.server.serve_forever, daemon=True).start()
        cls.origin = f"http://127.0.0.1:{cls.server.server_address[1]}"

    @classmethod
    def stop_serving(cls):
        cls.server.shutdown()
        cls.server.server_close()

    @classmethod
    def setUpClass(cls):
        cls.serve(0)
        cls.profile = tempfile.mkdtemp(prefix="calculator-chromium-")
        options = webdriver.ChromeOptions()
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync",
                     "--disable-dev-shm-usage", "--window-size=900,700",
                     f"--user-data-dir={cls.profile}"):
            options.add_argument(flag)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        cls.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.stop_serving()
        shutil.rmtree(cls.profile, ignore_errors=True)

    # ---- helpers

    def open(self, fragment="", clear_storage=True):
        self.driver.get(self.origin + "/index.html" + fragment)
        if clear_storage:
            self.driver.execute_script("localStorage.clear()")
            self.driver.get("about:blank")
            self.driver.get(self.origin + "/index.html" + fragment)
        wait_for(lambda: self.driver.execute_script(
            "return document.querySelectorAll('#transcript .prompt').length === 1"),
            what="the prompt line")
        self.input = self.driver.find_element(By.ID, "line")

    def shown(self):
        """The program's side of the transcript: prompt, reports, answers."""
        return self.driver.execute_script(
            "return [...document.querySelectorAll('#transcript > :not(.typed)')]"
            ".map((line) => line.textContent)")

    def everything(self):
        return self.driver.execute_script(
            "return [...document.querySelectorAll('#transcript > *')]"
            ".map((line) => line.textContent)")

    def enter(self, line):
        """Puts a whole line in the input field, tabs included, and presses Enter."""
        self.driver.execute_script("arguments[0].value = arguments[1]", self.input, line)
        self.input.send_keys(Keys.ENTER)

    def idle(self):
        return self.driver.execute_script("return document.getElementById('stop').disabled")

    def answer_to(self, line):
        before = len(self.shown())
        self.enter(line)
        wait_for(lambda: len(self.shown()) > before and self.idle(), what=f"the answer to {line}")
        return self.shown()[before:]

    def start_long_loop(self):
        self.enter(LONG_LOOP)
        wait_for(lambda: not self.idle(), what="the loop to start")
        time.sleep(0.3)

    # ---- tests

    def test_transcripts_give_the_console_output(self):
        for path in sorted(TRANSCRIPTS.glob("*.in")):
            with self.subTest(transcript=path.name):
                expected = path.with_suffix(".out").read_bytes().decode("utf-8")
                self.open()
                for line in console_lines(path.read_bytes()):
                    self.enter(line)
                wanted = expected.count("\n")
                try:
                    wait_for(lambda: len(self.shown()) >= wanted and self.idle(),
                             what=f"{wanted} lines")
                finally:
                    self.assertEqual("".join(line + "\n" for line in self.shown()), expected)

    def test_stop_ends_a_long_evaluation_and_keeps_the_variables(self):
        stoppers = {
            "ctrl-c": lambda: self.input.send_keys(Keys.CONTROL, "c"),
            "stop button": lambda: self.driver.find_element(By.ID, "stop").click(),
        }
        for name, press in stoppers.items():
            with self.subTest(stopper=name):
                self.open()
                self.assertEqual(self.answer_to("set(x, 5)"), ["Result is 5"])
                self.assertEqual(self.answer_to("set(n, -log(-1))"), ["Result is 1.#QNAN"])
                self.start_long_loop()
                pressed = time.monotonic()
                press()
                wait_for(lambda: self.shown()[-1] == "Error : Interrupted.", timeout=5,
                         what="the interruption")
                print(f"  {name}: Interrupted shown {time.monotonic() - pressed:.3f} s after the key")
                self.assertEqual(self.answer_to("x*2"), ["Result is 10"])
                self.assertEqual(self.answer_to("n"), ["Result is 1.#QNAN"])
                self.assertEqual(self.answer_to("-n"), ["Result is -1.#IND"])

    def test_ctrl_c_while_typing_drops_the_line(self):
        self.open()
        self.input.send_keys("1+2")
        self.input.send_keys(Keys.CONTROL, "c")
        self.assertEqual(self.input.get_attribute("value"), "")

    def test_history_recalls_lines_across_a_reload(self):
        self.open()
        for line in ["1+1", "2+2", "2+2", "   ", "3+3"]:
            self.answer_to(line)
        self.open(clear_storage=False)
        self.assertEqual(self.shown(), [PROMPT])
        steps = [(Keys.ARROW_UP, "3+3"), (Keys.ARROW_UP, "2+2"), (Keys.ARROW_UP, "1+1"),
                 (Keys.ARROW_UP, "1+1"), (Keys.ARROW_DOWN, "2+2"), (Keys.ARROW_DOWN, "3+3"),
                 (Keys.ARROW_DOWN, "")]
        for key, value in steps:
            self.input.send_keys(key)
            self.assertEqual(self.input.get_attribute("value"), value)

    def test_history_keeps_the_newest_thousand_lines(self):
        self.open()
        self.driver.execute_script(
            "localStorage.setItem('calculator.history',"
            " JSON.stringify(Array.from({length: 1000}, (_, i) => String(i))))")
        self.open(clear_storage=False)
        self.answer_to("7*6")
        stored = self.driver.execute_script(
            "return JSON.parse(localStorage.getItem('calculator.history'))")
        self.assertEqual(len(stored), 1000)
        self.assertEqual(stored[0], "1")
        self.assertEqual(stored[-1], "7*6")

    def test_tab_completes_names(self):
        self.open()
        self.answer_to("set(radius, 2)")
        cases = [("sig", "sigma("), ("p", "pi"), ("radi", "radius"), ("rad", "rad"),
                 ("lo", "log"), ("log1", "log10("), ("2*e", "2*e"), ("2*s", "2*s"),
                 ("zz", "zz")]
        for typed, completed in cases:
            with self.subTest(typed=typed):
                self.input.clear()
                self.input.send_keys(typed)
                self.input.send_keys(Keys.TAB)
                self.assertEqual(self.input.get_attribute("value"), completed)
        self.input.clear()

    def test_keyboard_alone_at_a_phone_width(self):
        self.driver.set_window_size(360, 740)
        try:
            self.open()
            self.input.send_keys("set(r, 2)", Keys.ENTER)
            wait_for(lambda: self.shown()[-1] == "Result is 2", what="the answer")
            self.input.send_keys("1" * 60 + "+r", Keys.ENTER)
            wait_for(lambda: self.shown()[-1] == "Result is 1.11111e+059", what="the long line")
            overflow = self.driver.execute_script(
                "return document.documentElement.scrollWidth - window.innerWidth")
            self.assertLessEqual(overflow, 0)
            # Tab on an empty line leaves the input; the buttons follow in order.
            self.input.send_keys(Keys.TAB)
            self.assertEqual(self.driver.switch_to.active_element.get_attribute("id"), "copy")
            self.driver.switch_to.active_element.send_keys(Keys.TAB)
            self.driver.switch_to.active_element.send_keys(Keys.ENTER)
            link = wait_for(lambda: self.driver.find_element(By.ID, "share-link")
                            .get_attribute("value"), what="the share link")
            self.assertIn("#lines=", link)
        finally:
            self.driver.set_window_size(900, 700)

    def test_copy_puts_the_transcript_on_the_clipboard(self):
        self.open()
        self.driver.execute_cdp_cmd("Browser.grantPermissions", {
            "origin": self.origin, "permissions": ["clipboardReadWrite", "clipboardSanitizedWrite"]})
        self.answer_to("1/0")
        self.driver.find_element(By.ID, "copy").click()
        wait_for(lambda: self.driver.find_element(By.ID, "status").text == "Transcript copied.",
                 what="the copy")
        copied = self.driver.execute_async_script(
            "navigator.clipboard.readText().then(arguments[0], (error) => arguments[0](String(error)))")
        self.assertEqual(copied, PROMPT + "\n1/0\nError : Can't divide by 0.\n")

    def test_share_link_replays_the_session(self):
        self.open()
        lines = ["set(a, 3)", "a*a", "sigma(i,0,2,1/i)", "1/0", "a # b"]
        for line in lines:
            self.answer_to(line)
        original = self.everything()
        self.driver.find_element(By.ID, "share").click()
        link = self.driver.find_element(By.ID, "share-link").get_attribute("value")
        fragment = urllib.parse.urlsplit(link).fragment
        self.open("#" + fragment)
        wait_for(lambda: len(self.everything()) >= len(original) and self.idle(),
                 what="the replay")
        self.assertEqual(self.everything(), original)

    def test_works_offline_after_a_reload(self):
        self.open()
        self.driver.set_script_timeout(60)
        self.driver.execute_async_script(
            "navigator.serviceWorker.ready.then(() => arguments[0]())")
        wait_for(lambda: self.driver.execute_script(
            "return navigator.serviceWorker.controller !== null"), timeout=60,
            what="the offline cache")
        port = self.server.server_address[1]
        self.stop_serving()
        try:
            self.open(clear_storage=False)
            self.assertEqual(self.answer_to("2^10"), ["Result is 1024"])
        finally:
            self.serve(port)

    def test_first_answer_time_and_no_policy_violation(self):
        # As on a first visit: nothing cached, no offline copy.
        self.open()
        self.driver.execute_async_script(
            "const done = arguments[0];"
            "navigator.serviceWorker.getRegistrations()"
            ".then((all) => Promise.all(all.map((one) => one.unregister())))"
            ".then(() => caches.keys()).then((keys) => Promise.all(keys.map((key) => caches.delete(key))))"
            ".then(() => done())")
        self.driver.execute_cdp_cmd("Network.clearBrowserCache", {})
        self.driver.get("about:blank")
        self.driver.get_log("browser")
        self.open("#lines=" + urllib.parse.quote("1+2"), clear_storage=False)
        wait_for(lambda: self.shown() == [PROMPT, "Result is 3"], what="the first answer")
        first = self.driver.execute_script(
            "return performance.getEntriesByName('first-answer')[0].startTime")
        print(f"  first answer {first:.0f} ms after the page was opened")
        problems = [entry["message"] for entry in self.driver.get_log("browser")
                    if entry["level"] in ("SEVERE", "WARNING")]
        self.assertEqual(problems, [])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
