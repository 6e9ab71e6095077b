#!/usr/bin/python3
"""The page in headless Chromium, served by web/serve's handler: every
console transcript typed into it gives the console's output exactly; Stop,
Stop all and Ctrl-C keep the variables; pasted blocks, history across
reloads and tabs (two saving at once), Tab completion, focus, Ctrl-L,
share links that wait for agreement and cannot be swapped, session files,
replay speed, the view following the newest line, a long session's round
trip, axe-core's accessibility rules, a new version on the server, offline
use and web/serve's headers and compression.

    /usr/bin/python3 tests/web/browser_test.py BUILD_DIR TRANSCRIPT_DIR

BUILD_DIR is web/build's folder: its site/ is served, and its page-files/
make a second version of the page. (Debian's python3-selenium imports only
in /usr/bin/python3.)
"""
import gzip
import importlib.machinery
import importlib.util
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.error
import urllib.parse
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.actions.wheel_input import ScrollOrigin
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.select import Select

ROOT = pathlib.Path(__file__).resolve().parents[2]
BUILD = pathlib.Path(sys.argv[1]).resolve()
SITE = BUILD / "site"
TRANSCRIPTS = pathlib.Path(sys.argv[2]).resolve()
# Installed by scripts/test-web from the npm registry; the check skips without it.
AXE = BUILD / "axe" / "node_modules" / "axe-core" / "axe.min.js"
PROMPT = "Please input expression."
INTERRUPTED = "Error : Interrupted."
LONG_LOOP = "sigma(i,1,2000000000,i)"
SECOND_LOOP = "sigma(i,1,20000000,i)"  # about a second


def load_serve():
    loader = importlib.machinery.SourceFileLoader("serve", str(ROOT / "web" / "serve"))
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader("serve", loader))
    loader.exec_module(module)
    return module


serve = load_serve()


def handler_class(site, requests):
    """web/serve's handler for `site`, quiet, listing the paths asked for."""
    class Recording(serve.PageHandler):
        def do_GET(self):
            requests.append(self.path)
            super().do_GET()

        def log_message(self, *args):
            pass
    return serve.handler_for(site, Recording)


def start_server(site, port=0):
    requests = []
    server = serve.http.server.ThreadingHTTPServer(("127.0.0.1", port),
                                                    handler_class(site, requests))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    server.requests = requests
    server.origin = f"http://127.0.0.1:{server.server_address[1]}"
    return server


def end_server(server):
    server.shutdown()
    server.server_close()


def stamp(files, site):
    subprocess.run(["cmake", f"-DFILES={files}", f"-DSITE={site}", "-P",
                    str(ROOT / "web" / "stamp.cmake")], check=True)


def console_lines(data):
    """The lines the console reads: CR LF as LF, a last line without LF."""
    text = data.decode("utf-8").replace("\r\n", "\n")
    lines = text.split("\n")
    if lines[-1] == "":
        lines.pop()
    return lines


ROUND_TRIPS = """
            const done = arguments[0], times = [];
            const transcript = document.getElementById('transcript');
            const field = document.getElementById('line');
            const answered = () => new Promise((resolve) => {
              const watch = new MutationObserver(() => {
                if (transcript.lastElementChild.lastElementChild.className === 'answer') {
                  watch.disconnect();
                  resolve();
                }
              });
              watch.observe(transcript, {childList: true, subtree: true});
            });
            (async () => {
              await new Promise((resolve) => setTimeout(resolve, 1000));  // the page settles
              for (let i = 0; i < 15; ++i) {
                await new Promise((resolve) => setTimeout(resolve, 50));
                const started = performance.now();
                const answer = answered();
                field.value = `${i}*3`;
                document.getElementById('entry').requestSubmit();
                await answer;
                document.getElementById('screen').scrollHeight;  // and its layout
                times.push(performance.now() - started);
              }
              done(times.sort((a, b) => a - b));
            })();"""


def module_output(lines):
    """What the WebAssembly module answers to `lines` under Node."""
    return subprocess.run(["node", str(ROOT / "tests" / "web" / "answer_lines.js"),
                           str(BUILD / "package")], input="".join(l + "\n" for l in lines),
                          capture_output=True, text=True, check=True).stdout


def link(lines):
    return "#lines=" + urllib.parse.quote("\n".join(lines))


def contrast(first, second):
    def luminance(rgb):
        channels = [c / 255 for c in rgb]
        linear = [c / 12.92 if c <= 0.03928 else ((c + 0.055) / 1.055) ** 2.4 for c in channels]
        return 0.2126 * linear[0] + 0.7152 * linear[1] + 0.0722 * linear[2]
    high, low = sorted([luminance(first), luminance(second)], reverse=True)
    return (high + 0.05) / (low + 0.05)


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
    def setUpClass(cls):
        cls.server = start_server(SITE)
        cls.origin = cls.server.origin
        cls.profile = tempfile.mkdtemp(prefix="calculator-chromium-")
        options = webdriver.ChromeOptions()
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync",
                     "--disable-dev-shm-usage", "--window-size=1280,800",
                     "--disable-background-timer-throttling",
                     "--disable-renderer-backgrounding",
                     "--disable-backgrounding-occluded-windows",
                     f"--user-data-dir={cls.profile}"):
            options.add_argument(flag)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        cls.driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        end_server(cls.server)
        shutil.rmtree(cls.profile, ignore_errors=True)

    # ---- helpers: one per kind of action

    def open(self, fragment="", clear_storage=True, origin=None):
        address = (origin or self.origin) + "/index.html" + fragment
        self.driver.get(address)
        if clear_storage:
            self.driver.execute_script("localStorage.clear()")
            self.driver.get("about:blank")
            self.driver.get(address)
        wait_for(lambda: self.driver.execute_script(
            "return document.querySelectorAll('#transcript .prompt').length === 1"),
            what="the prompt line")

    @property
    def input(self):
        return self.driver.find_element(By.ID, "line")

    def value(self):
        return self.input.get_attribute("value")

    def script(self, code, *arguments):
        return self.driver.execute_script(code, *arguments)

    def lines(self, selector):
        return self.script(
            f"return [...document.querySelectorAll({selector!r})].map((line) => line.textContent)")

    def shown(self):
        """The program's side of the transcript: prompt, reports, answers, notes."""
        return self.lines("#transcript > .rows > :not(.typed)")

    def everything(self):
        return self.lines("#transcript > .rows > *")

    def enter(self, line):
        """Puts a whole line in the input field, tabs included, and presses Enter."""
        self.script("arguments[0].value = arguments[1]", self.input, line)
        self.input.send_keys(Keys.ENTER)

    def type_anywhere(self, keys):
        """Types into whatever has the focus."""
        ActionChains(self.driver).send_keys(keys).perform()

    def allow_clipboard(self):
        self.driver.execute_cdp_cmd("Browser.grantPermissions", {
            "origin": self.origin,
            "permissions": ["clipboardReadWrite", "clipboardSanitizedWrite"]})

    def paste(self, text):
        self.allow_clipboard()
        self.driver.execute_async_script(
            "navigator.clipboard.writeText(arguments[0]).then(arguments[1])", text)
        self.input.send_keys(Keys.CONTROL, "v")

    def press(self, button):
        self.driver.find_element(By.ID, button).click()

    def idle(self):
        """Nothing runs and nothing waits."""
        return self.script("return document.getElementById('stop-all').disabled")

    def running(self):
        return not self.script("return document.getElementById('stop').disabled")

    def answer_to(self, line):
        before = len(self.shown())
        self.enter(line)
        wait_for(lambda: len(self.shown()) > before and self.idle(), what=f"the answer to {line}")
        return self.shown()[before:]

    def start_long_loop(self):
        self.enter(LONG_LOOP)
        wait_for(self.running, what="the loop to start")
        time.sleep(0.3)

    def offered(self):
        """The link's offer: its count line and its first lines, or None."""
        if not self.driver.find_element(By.ID, "offer").is_displayed():
            return None
        count = self.driver.find_element(By.ID, "offer-count").text
        return [count] + self.lines("#offer-lines > *")

    def run_accepted(self):
        """Run is accepted: the offer has been on screen long enough."""
        return self.script("return !document.getElementById('offer-run')"
                           ".hasAttribute('aria-disabled')")

    def run_offer(self):
        wait_for(self.run_accepted, what="Run to be accepted")
        self.press("offer-run")

    def status(self):
        return self.driver.find_element(By.ID, "status").text

    def agree(self):
        """Runs a link's lines with the keyboard: Tab from the field, then Enter."""
        wait_for(self.run_accepted, what="Run to be accepted")
        self.input.send_keys(Keys.TAB)
        self.assertEqual(self.driver.switch_to.active_element.get_attribute("id"), "offer-run")
        self.driver.switch_to.active_element.send_keys(Keys.ENTER)

    def page_script(self):
        return self.script("return document.querySelector('script').src").rsplit("/", 1)[1]

    def wait_for_offline_copy(self):
        """Waits for the offline copy, then reloads: the next visit is controlled by it."""
        self.driver.set_script_timeout(60)
        self.driver.execute_async_script("navigator.serviceWorker.ready.then(() => arguments[0]())")
        self.driver.refresh()
        wait_for(lambda: self.shown() == [PROMPT], what="the page again")
        self.assertTrue(self.script("return navigator.serviceWorker.controller !== null"))

    def replay_seconds(self, lines):
        """Opens a link to `lines`, agrees, and times the replay to its last answer."""
        self.open(link(lines))
        wait_for(self.offered, what="the offer")
        wait_for(self.run_accepted, what="Run to be accepted")
        started = time.monotonic()
        self.press("offer-run")
        wait_for(lambda: self.script(
            "return document.getElementById('stop-all').disabled &&"
            " state.transcriptText.length === 1 + 2 * arguments[0]",
            len(lines)), timeout=60, what=f"{len(lines)} answers")
        return time.monotonic() - started

    # ---- tests

    def test_transcripts_give_the_console_output(self):
        for path in sorted(TRANSCRIPTS.glob("*.in")):
            with self.subTest(transcript=path.name):
                # Blank lines are skipped, as at a terminal: what the rest gives is the
                # module's answer to them, which test-web compares with the console.
                lines = [line for line in console_lines(path.read_bytes())
                         if line.strip(" \t\0") != ""]
                expected = path.with_suffix(".out").read_bytes().decode("utf-8")
                if len(lines) < len(console_lines(path.read_bytes())):
                    expected = module_output(lines)
                self.open()
                for line in lines:
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
            "stop button": lambda: self.press("stop"),
        }
        for name, stop in stoppers.items():
            with self.subTest(stopper=name):
                self.open()
                self.assertEqual(self.answer_to("set(x, 5)"), ["Result is 5"])
                self.assertEqual(self.answer_to("set(n, -log(-1))"), ["Result is 1.#QNAN"])
                self.start_long_loop()
                self.enter("x*3")
                wait_for(lambda: self.lines("#waiting > .waiting") == ["x*3"],
                         what="the waiting line in view")
                pressed = time.monotonic()
                stop()
                wait_for(lambda: self.shown()[-2:] == [INTERRUPTED, "Result is 15"], timeout=5,
                         what="the interruption, then the waiting line's answer")
                print(f"  {name}: Interrupted shown {time.monotonic() - pressed:.3f} s"
                      " after the key")
                wait_for(lambda: self.lines("#waiting > *") == [], what="no waiting line")
                self.assertEqual(self.answer_to("n"), ["Result is 1.#QNAN"])
                self.assertEqual(self.answer_to("-n"), ["Result is -1.#IND"])

    def test_stop_all_ends_a_replay_at_once(self):
        self.open(link(["set(n, 1)"] + [LONG_LOOP] * 50))
        wait_for(self.offered, what="the offer")
        self.run_offer()
        wait_for(lambda: self.shown()[-1:] == ["Result is 1"] and self.running(),
                 what="the first loop")
        wait_for(lambda: self.lines("#waiting > *")[-1:] == ["and 29 more lines waiting"],
                 what="the waiting lines")
        self.press("stop-all")
        wait_for(self.idle, timeout=5, what="the end of the replay")
        self.assertEqual(self.shown()[-2:], [INTERRUPTED, "49 waiting lines dropped."])
        self.assertEqual(self.answer_to("n"), ["Result is 1"])
        self.press("share")
        shared = urllib.parse.urlsplit(
            self.driver.find_element(By.ID, "share-link").get_attribute("value")).fragment
        self.assertEqual(urllib.parse.unquote(shared), "lines=set(n, 1)\n" + LONG_LOOP + "\nn")

    def test_ctrl_c_while_typing_drops_the_line(self):
        self.open()
        self.input.send_keys("1+2")
        self.input.send_keys(Keys.CONTROL, "c")
        self.assertEqual(self.value(), "")

    def test_ctrl_l_clears_the_transcript(self):
        self.open()
        self.answer_to("1+1")
        self.input.send_keys(Keys.CONTROL, "l")
        self.assertEqual(self.everything(), [])
        self.assertEqual(self.answer_to("2+2"), ["Result is 4"])

    def test_paste_runs_each_line(self):
        self.open()
        self.input.send_keys("1+")
        self.paste("2\n3+4\r\n5+")
        wait_for(lambda: self.shown()[1:] == ["Result is 3", "Result is 7"] and self.idle(),
                 what="two answers")
        self.assertEqual(self.value(), "5+")
        self.input.send_keys("6", Keys.ENTER)
        wait_for(lambda: self.shown()[-1] == "Result is 11", what="the last line's answer")
        self.input.send_keys(Keys.ARROW_UP, Keys.ARROW_UP)
        self.assertEqual(self.value(), "3+4")

    def test_typing_goes_to_the_field(self):
        self.open()
        self.enter(SECOND_LOOP)
        wait_for(self.running, what="the line to start")
        self.script("document.getElementById('stop').focus()")
        self.assertEqual(self.driver.switch_to.active_element.get_attribute("id"), "stop")
        wait_for(self.idle, what="the line to end")
        self.type_anywhere("12")
        self.assertEqual(self.value(), "12")

        ActionChains(self.driver).double_click(
            self.driver.find_element(By.CSS_SELECTOR, "#transcript .prompt")).perform()
        self.assertNotEqual(self.script("return String(getSelection())"), "")
        self.type_anywhere("3")
        self.assertEqual(self.value(), "123")

        self.start_long_loop()
        self.press("stop")
        self.type_anywhere("4")
        self.assertEqual(self.value(), "4")

    def test_history_recalls_lines_across_a_reload(self):
        self.open()
        for line in ["1+1", "2+2", "2+2", "   ", "3+3"]:
            self.enter(line)
        wait_for(lambda: self.shown()[-1:] == ["Result is 6"] and self.idle(), what="3+3")
        self.open(clear_storage=False)
        self.assertEqual(self.shown(), [PROMPT])
        steps = [(Keys.ARROW_UP, "3+3"), (Keys.ARROW_UP, "2+2"), (Keys.ARROW_UP, "1+1"),
                 (Keys.ARROW_UP, "1+1"), (Keys.ARROW_DOWN, "2+2"), (Keys.ARROW_DOWN, "3+3"),
                 (Keys.ARROW_DOWN, "")]
        for key, value in steps:
            self.input.send_keys(key)
            self.assertEqual(self.value(), value)

    def test_history_keeps_the_newest_thousand_lines(self):
        self.open()
        self.script("localStorage.setItem('calculator.history',"
                    " JSON.stringify(Array.from({length: 1000}, (_, i) => String(i))))")
        self.open(clear_storage=False)
        self.answer_to("7*6")
        self.open(clear_storage=False)
        stored = self.script("return lineHistory.lines")
        self.assertEqual(len(stored), 1000)
        self.assertEqual(stored[0], "1")
        self.assertEqual(stored[-1], "7*6")

    def test_tabs_keep_each_others_history(self):
        self.open()
        first = self.driver.current_window_handle
        self.driver.switch_to.new_window("tab")
        second = self.driver.current_window_handle
        try:
            self.open(clear_storage=False)
            self.answer_to("2+2")
            self.driver.switch_to.window(first)
            self.answer_to("1+1")
            self.driver.switch_to.window(second)
            self.answer_to("3+3")
            wait_for(lambda: self.script("return lineHistory.lines") == ["2+2", "1+1", "3+3"],
                     what="both tabs' lines")
            self.driver.switch_to.window(first)
            self.input.send_keys(Keys.ARROW_UP)
            self.assertEqual(self.value(), "3+3")
        finally:
            self.driver.switch_to.window(second)
            self.driver.close()
            self.driver.switch_to.window(first)

    def test_tab_completes_the_modules_names(self):
        self.open()
        self.answer_to("set(radius, 2)")
        # Where nothing is left to complete, Tab moves on as everywhere (to Copy
        # transcript); where several names fit, the first Tab lists them.
        cases = [("sig", "sigma(", "line"), ("p", "pi", "line"), ("radi", "radius", "line"),
                 ("rad", "rad", "line"), ("lo", "log", "line"), ("log1", "log10(", "line"),
                 ("2*e", "2*e", "copy"), ("2*s", "2*s", "line"), ("2*s\t", "2*s", "copy"),
                 ("zz", "zz", "copy"), ("2*pi", "2*pi", "copy"), ("1+zz", "1+zz", "copy")]
        for typed, completed, focused in cases:
            with self.subTest(typed=typed):
                self.input.clear()
                self.input.send_keys(typed, Keys.TAB)
                self.assertEqual(self.value(), completed)
                self.assertEqual(self.driver.switch_to.active_element.get_attribute("id"),
                                 focused)
        self.input.clear()

    def test_keyboard_alone_at_a_phone_width(self):
        self.driver.set_window_size(360, 740)
        try:
            self.open()
            self.input.send_keys("set(r, 2)", Keys.ENTER)
            wait_for(lambda: self.shown()[-1] == "Result is 2", what="the answer")
            self.input.send_keys("1" * 60 + "+r", Keys.ENTER)
            wait_for(lambda: self.shown()[-1] == "Result is 1.11111e+059", what="the long line")
            overflow = self.script("return document.documentElement.scrollWidth - innerWidth")
            self.assertLessEqual(overflow, 0)
            # Tab on an empty line leaves the input; the enabled buttons follow in order.
            self.input.send_keys(Keys.TAB)
            self.assertEqual(self.driver.switch_to.active_element.get_attribute("id"), "copy")
            self.driver.switch_to.active_element.send_keys(Keys.TAB)
            self.driver.switch_to.active_element.send_keys(Keys.ENTER)
            shared = wait_for(lambda: self.driver.find_element(By.ID, "share-link")
                              .get_attribute("value"), what="the share link")
            self.assertIn("#lines=", shared)
        finally:
            self.driver.set_window_size(1280, 800)

    def test_copy_puts_the_transcript_on_the_clipboard(self):
        self.open()
        self.allow_clipboard()
        self.answer_to("1/0")
        self.press("copy")
        wait_for(lambda: self.driver.find_element(By.ID, "status").text == "Transcript copied.",
                 what="the copy")
        copied = self.driver.execute_async_script(
            "navigator.clipboard.readText()"
            ".then(arguments[0], (error) => arguments[0](String(error)))")
        self.assertEqual(copied, PROMPT + "\n1/0\nError : Can't divide by 0.\n")

    def test_share_link_waits_for_agreement_then_replays_once(self):
        lines = ["set(a, 3)", "a*a", "sigma(i,0,2,1/i)", "1/0", "a # b", "2+\u202e3\u0000",
                 "a" * 300]
        for width in (1280, 360):
            with self.subTest(width=width):
                self.driver.set_window_size(width, 800)
                self.open()
                for line in lines:
                    self.answer_to(line)
                original = self.everything()
                self.press("share")
                shared = self.driver.find_element(By.ID, "share-link").get_attribute("value")
                self.open("#" + urllib.parse.urlsplit(shared).fragment)
                offer = wait_for(self.offered, what="the offer")
                time.sleep(0.5)
                self.assertEqual(self.shown(), [PROMPT])
                self.assertEqual(offer, ["This link holds 7 lines. They run only if you choose to:",
                                         *lines[:5], "and 2 more lines"])
                self.assertLessEqual(
                    self.script("return document.documentElement.scrollWidth - innerWidth"), 0)
                self.agree()
                wait_for(lambda: len(self.everything()) >= len(original) and self.idle(),
                         what="the replay")
                self.assertEqual(self.everything(), original)
                self.assertEqual(self.script("return location.hash"), "")
                self.driver.refresh()
                wait_for(lambda: self.shown() == [PROMPT], what="the page again")
                self.assertIsNone(self.offered())
        self.driver.set_window_size(1280, 800)

    def last_row_in_view(self):
        return self.script(
            "const screen = document.getElementById('screen').getBoundingClientRect();"
            "const row = document.getElementById('transcript').lastElementChild"
            ".lastElementChild.getBoundingClientRect();"
            "return row.top >= screen.top - 1 && row.bottom <= screen.bottom + 1;")

    def test_the_newest_answer_stays_in_view(self):
        for width in (1280, 360):
            with self.subTest(width=width):
                self.driver.set_window_size(width, 800)
                self.open()
                for number in range(30):
                    self.input.send_keys(f"{number}*2", Keys.ENTER)
                    wait_for(lambda: self.shown()[-1] == f"Result is {number * 2}",
                             what=f"answer {number}")
                    wait_for(self.last_row_in_view, timeout=2, what=f"answer {number} in view")
                    time.sleep(0.1)
                newest = self.driver.find_element(By.ID, "newest")
                self.assertFalse(newest.is_displayed())
                # Scrolled up by the wheel while a line runs: its answer leaves the view alone.
                self.enter(SECOND_LOOP)
                ActionChains(self.driver).scroll_from_origin(
                    ScrollOrigin.from_element(self.driver.find_element(By.ID, "screen")),
                    0, -400).perform()
                wait_for(lambda: self.idle() and self.shown()[-1].startswith("Result is"),
                         what="the loop's answer")
                time.sleep(0.2)
                self.assertFalse(self.last_row_in_view())
                self.assertTrue(newest.is_displayed())
                newest.click()
                wait_for(self.last_row_in_view, what="the view back at the newest line")
                self.assertFalse(newest.is_displayed())
        self.driver.set_window_size(1280, 800)

    def test_an_offer_cannot_be_swapped(self):
        self.open(link(["1+1"]))
        wait_for(self.run_accepted, what="the first offer to be runnable")
        self.script("location.hash = arguments[0]", link(["2+2", "3+3"]))
        wait_for(lambda: (self.offered() or [""])[0].startswith("This link holds 2 lines"),
                 what="the changed offer")
        self.assertTrue(self.driver.find_element(By.ID, "offer-replaced").is_displayed())
        self.press("offer-run")  # at once: refused
        time.sleep(0.3)
        self.assertEqual(self.shown(), [PROMPT])
        self.assertIn("read it", self.status())
        self.run_offer()  # a second later: the lines on screen run, and only those
        wait_for(lambda: self.shown() == [PROMPT, "Result is 4", "Result is 6"] and self.idle(),
                 what="the changed offer's answers")

        self.script("location.hash = arguments[0]", link(["4+4"]))
        wait_for(self.offered, what="an offer")
        self.script("location.hash = '#lines=1%ZZ'")  # damaged: the offer goes
        wait_for(lambda: self.offered() is None, what="the offer withdrawn")
        self.assertIn("damaged", self.status())

        self.script("location.hash = arguments[0]", link(["5+5"]))
        wait_for(self.offered, what="an offer")
        self.input.send_keys("7*7", Keys.ESCAPE)  # the offer first, then the field
        self.assertIsNone(self.offered())
        self.assertEqual((self.value(), self.script("return location.hash")), ("7*7", ""))
        self.input.send_keys(Keys.ESCAPE)
        self.assertEqual(self.value(), "")
        self.assertEqual(self.shown(), [PROMPT, "Result is 4", "Result is 6"])

    def test_small_things_a_terminal_does(self):
        self.open()
        self.enter("")
        self.enter(" \t ")
        self.answer_to("1" + "+1" * 149)
        self.assertEqual(self.everything(), [  # and nothing for the blank lines
            PROMPT, "1" + "+1" * 149, "Only the first 249 characters of this line were read.",
            "Result is 125"])
        self.open(link(["1/3", ""]) + "&digits=1")
        self.assertEqual(wait_for(self.offered, what="the offer")[0],
                         "This link holds 1 line, numbers to 1 digit. It runs only if you choose to:")

    def round_trips(self):
        """15 lines' times from Enter to the answer on screen, laid out; sorted."""
        self.driver.set_script_timeout(30)
        return self.driver.execute_async_script(ROUND_TRIPS)

    def test_round_trip_after_40000_lines(self):
        self.open()
        fresh = self.round_trips()
        self.paste("".join(f"{i}+1\n" for i in range(40000)))
        wait_for(lambda: self.idle() and self.shown()[-1] == "Result is 40000", timeout=180,
                 what="40,000 answers")
        self.assertIn("40,000 lines run, last answer: Result is 40000", self.status())
        rows = self.script("return document.querySelectorAll('#transcript .rows > *').length")
        self.assertLessEqual(rows, 5500)
        self.assertIn("earlier rows are no longer shown",
                      self.driver.find_element(By.ID, "dropped").text)
        times = self.round_trips()
        print(f"  round trip: median {fresh[7]:.2f} ms on a new page, {times[7]:.2f} ms after"
              f" 40,000 lines (worst {times[-1]:.2f} ms)")
        # 5 ms, or three times a new page's on a machine too busy for that.
        self.assertLess(times[7], max(5.0, 3 * fresh[7]))
        self.allow_clipboard()
        self.press("copy")
        wait_for(lambda: self.status() == "Transcript copied.", what="the copy")
        copied = self.driver.execute_async_script(
            "navigator.clipboard.readText().then(arguments[0])").split("\n")
        self.assertEqual((len(copied), copied[31:33], copied[80030]),
                         (1 + 30 + 80000 + 30 + 1, ["0+1", "Result is 1"], "Result is 40000"))

    def test_two_tabs_saving_at_once_keep_every_line(self):
        self.open()
        first = self.driver.current_window_handle
        start_at = time.time() * 1000 + 1500
        typing = ("const [prefix, at] = arguments; window.saved = 0;"
                  "setTimeout(() => { const timer = setInterval(() => {"
                  " document.getElementById('line').value = prefix + window.saved;"
                  " document.getElementById('entry').requestSubmit();"
                  " if (++window.saved === 60) clearInterval(timer); }, 7); }, at - Date.now());")
        self.script(typing, "a", start_at)
        self.driver.switch_to.new_window("tab")
        try:
            self.open(clear_storage=False)
            self.script(typing, "b", start_at)
            wait_for(lambda: self.script("return window.saved") == 60, what="tab b's lines")
            self.driver.switch_to.window(first)
            wait_for(lambda: self.script("return window.saved") == 60, what="tab a's lines")
        finally:
            self.driver.switch_to.window(self.driver.window_handles[-1])
            self.driver.close()
            self.driver.switch_to.window(first)
        self.open(clear_storage=False)
        kept = self.script("return lineHistory.lines")
        self.assertEqual(sorted(kept), sorted([f"{tab}{n}" for tab in "ab" for n in range(60)]))
        # The closed tabs' entries fold into one.
        wait_for(lambda: self.script("return Object.keys(localStorage)"
                                     ".filter((key) => key.includes('.tab.')).length") == 0,
                 what="the closed tabs' entries folded")
        self.press("clear-history")
        self.open(clear_storage=False)
        self.assertEqual(self.script("return lineHistory.lines"), [])

    def test_a_long_session_goes_by_file(self):
        self.open()
        download = tempfile.mkdtemp(prefix="calculator-download-")
        try:
            self.driver.execute_cdp_cmd("Browser.setDownloadBehavior",
                                        {"behavior": "allow", "downloadPath": download})
            lines = ["1" + "+1" * 119] * 300  # 143,000 characters in a link
            self.paste("".join(line + "\n" for line in lines))
            wait_for(lambda: self.idle() and len(self.shown()) == 301, what="300 answers")
            self.press("share")
            self.assertIn("too long for a link", self.status())
            self.assertFalse(self.driver.find_element(By.ID, "share-link").is_displayed())
            self.press("save")
            saved = pathlib.Path(download) / "calculator-session.txt"
            wait_for(saved.exists, what="the saved file")
            wait_for(lambda: saved.read_text() == "".join(line + "\n" for line in lines),
                     what="the whole session in the file")
        finally:
            shutil.rmtree(download, ignore_errors=True)
        self.open()
        self.script("const data = new DataTransfer();"
                    "data.items.add(new File([arguments[0]], 'session.txt', {type: 'text/plain'}));"
                    "document.body.dispatchEvent(new DragEvent('drop', {dataTransfer: data,"
                    " bubbles: true, cancelable: true}));", "2+2\n\n3*3\n")
        self.assertEqual(wait_for(self.offered, what="the file's offer")[:3],
                         ["This file holds 2 lines. They run only if you choose to:", "2+2", "3*3"])
        self.run_offer()
        wait_for(lambda: self.shown() == [PROMPT, "Result is 4", "Result is 9"], what="answers")

    def test_axe_finds_nothing_serious(self):
        if not AXE.exists():
            self.skipTest(f"{AXE} is not installed (scripts/test-web installs axe-core with npm)")
        for scheme in ("light", "dark"):
            with self.subTest(scheme=scheme):
                self.driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {
                    "features": [{"name": "prefers-color-scheme", "value": scheme}]})
                self.open()
                self.answer_to("set(a, 2)")
                self.answer_to("1/0")
                self.start_long_loop()
                self.enter("a*2")
                self.enter("a*3")
                self.script("location.hash = arguments[0]", link(["a*4"]))
                wait_for(self.offered, what="the offer")
                self.script(AXE.read_text(encoding="utf-8"))
                self.driver.set_script_timeout(60)
                found = self.driver.execute_async_script(
                    "axe.run(document).then((result) => arguments[0](result.violations.map("
                    "(v) => [v.id, v.impact, v.nodes.map((node) => node.target.join(' '))])))")
                self.press("stop-all")
                print(f"  axe-core ({scheme}): {found or 'nothing'}")
                self.assertEqual([v for v in found if v[1] in ("serious", "critical")], [])
        self.driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": []})

    def test_control_characters_show_as_marks(self):
        self.open(link(["1+\u202e2", "\u0000\u2066x\u007f"]))
        self.assertEqual(wait_for(self.offered, what="the offer")[1:],
                         ["1+U+202E2", "\u2400U+2066x\u2421"])
        self.run_offer()
        wait_for(self.idle, what="the replay")
        typed = self.lines("#transcript > .rows > .typed")
        self.assertEqual(typed, ["1+U+202E2", "\u2400U+2066x\u2421"])

    def test_second_link_by_hashchange(self):
        self.open()
        self.answer_to("set(b, 2)")
        self.script("location.hash = arguments[0]", link(["b*10"]))
        wait_for(self.offered, what="the offer")
        self.assertEqual(self.shown(), [PROMPT, "Result is 2"])
        self.run_offer()
        wait_for(lambda: self.shown()[-1] == "Result is 20", what="the link's answer")
        self.script("location.hash = arguments[0]", link(["b*100"]))
        wait_for(self.offered, what="the second offer")
        self.press("offer-dismiss")
        self.assertIsNone(self.offered())
        self.assertEqual(self.script("return location.hash"), "")
        self.assertEqual(self.shown(), [PROMPT, "Result is 2", "Result is 20"])

    def test_digits_are_kept_and_travel_in_links(self):
        self.open()
        Select(self.driver.find_element(By.ID, "digits")).select_by_value("10")
        self.assertEqual(self.answer_to("pi"), ["Result is 3.141592654"])
        self.open(clear_storage=False)
        self.assertEqual(self.answer_to("1/3"), ["Result is 0.3333333333"])
        self.press("share")
        shared = self.driver.find_element(By.ID, "share-link").get_attribute("value")
        self.assertTrue(shared.endswith("&digits=10"))
        Select(self.driver.find_element(By.ID, "digits")).select_by_visible_text("shortest")
        self.assertEqual(self.answer_to("pi"), ["Result is 3.141592653589793"])

        self.open("#" + urllib.parse.urlsplit(shared).fragment)  # where 6 is the choice
        self.assertEqual(wait_for(self.offered, what="the offer")[0],
                         "This link holds 1 line, numbers to 10 digits."
                         " It runs only if you choose to:")
        self.run_offer()
        wait_for(lambda: self.shown()[-1:] == ["Result is 0.3333333333"], what="the answer")
        self.assertEqual(self.driver.find_element(By.ID, "digits").get_attribute("value"), "10")

        for damaged in ("#lines=1%ZZ", "#lines=1&digits=18"):
            with self.subTest(link=damaged):
                self.open(damaged)
                self.assertIsNone(self.offered())
                self.assertIn("damaged", self.driver.find_element(By.ID, "status").text)

    def test_replay_time(self):
        for count, budget in ((2000, 5.0), (5000, 12.5)):
            lines = ["set(x, 1)"] + [f"x*{i}" for i in range(1, count)]
            seconds = self.replay_seconds(lines)
            print(f"  {count} lines replayed in {seconds:.2f} s")
            self.assertLess(seconds, budget)
            self.assertEqual(self.shown()[-1], f"Result is {count - 1}")

    def test_borders_stand_out_in_both_schemes(self):
        try:
            for scheme in ("light", "dark"):
                with self.subTest(scheme=scheme):
                    self.driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {
                        "features": [{"name": "prefers-color-scheme", "value": scheme}]})
                    self.open()
                    colours = self.script(
                        "const colour = (selector, property) =>"
                        " getComputedStyle(document.querySelector(selector))[property]"
                        ".match(/\\d+/g).slice(0, 3).map(Number);"
                        "return [colour('body', 'backgroundColor'),"
                        " colour('#screen', 'borderTopColor'), colour('#line', 'borderTopColor')];")
                    background, *borders = colours
                    for border in borders:
                        self.assertGreaterEqual(contrast(border, background), 3.0)
        finally:
            self.driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": []})

    def test_a_new_version_arrives_whole(self):
        work = pathlib.Path(tempfile.mkdtemp(prefix="calculator-versions-"))
        served = work / "served"
        shutil.copytree(SITE, served)
        server = start_server(served)
        first_tab = self.driver.current_window_handle
        try:
            self.open(origin=server.origin)
            self.wait_for_offline_copy()
            self.assertEqual(self.answer_to("set(v, 1)"), ["Result is 1"])
            first_page = self.page_script()

            # A second build whose session.js differs, published in place of the first.
            files = work / "files"
            shutil.copytree(BUILD / "page-files", files)
            with open(files / "session.js", "a", encoding="utf-8") as session:
                session.write("// the second version\n")
            stamp(files, work / "second")
            shutil.rmtree(served)
            shutil.copytree(work / "second", served)
            second = {path.name for path in served.iterdir()}
            second_cache = re.search(r"calculator-[0-9a-f]+", (served / "offline.js").read_text())

            # Another tab opens the second version, whose offline copy replaces the first's.
            self.driver.switch_to.new_window("tab")
            self.open(clear_storage=False, origin=server.origin)
            self.assertIn(self.page_script(), second)
            wait_for(lambda: self.script("return caches.keys()") == [second_cache.group(0)],
                     what="the second version's offline copy alone")
            self.driver.close()
            self.driver.switch_to.window(first_tab)

            # The first tab, still open, stops a line: its new worker is the first version's.
            server.requests.clear()
            self.start_long_loop()
            self.press("stop")
            self.assertEqual(self.answer_to("v"), ["Result is 1"])
            self.assertEqual([path for path in server.requests if path[1:] in second], [])

            self.driver.refresh()
            wait_for(lambda: self.shown() == [PROMPT], what="the new version")
            self.assertEqual(self.answer_to("2*3"), ["Result is 6"])
            self.assertNotEqual(self.page_script(), first_page)
            self.assertIn(self.page_script(), second)
        finally:
            self.driver.switch_to.window(first_tab)
            end_server(server)
            shutil.rmtree(work, ignore_errors=True)

    def test_works_offline_after_a_reload(self):
        self.open()
        self.wait_for_offline_copy()
        port = self.server.server_address[1]
        end_server(self.server)
        try:
            self.open(clear_storage=False)
            self.assertEqual(self.answer_to("2^10"), ["Result is 1024"])
        finally:
            type(self).server = start_server(SITE, port)

    def test_first_visit_answer_time_and_no_console_message(self):
        # As on a first visit: nothing cached, no offline copy.
        self.open()
        self.driver.execute_async_script(
            "const done = arguments[0];"
            "navigator.serviceWorker.getRegistrations()"
            ".then((all) => Promise.all(all.map((one) => one.unregister())))"
            ".then(() => caches.keys())"
            ".then((keys) => Promise.all(keys.map((key) => caches.delete(key))))"
            ".then(() => done())")
        self.driver.execute_cdp_cmd("Network.clearBrowserCache", {})
        self.driver.get("about:blank")
        self.driver.get_log("browser")
        self.open(clear_storage=False)
        self.assertEqual(self.answer_to("1+2"), ["Result is 3"])
        first = self.script("return performance.getEntriesByName('first-answer')[0].startTime")
        print(f"  first answer {first:.0f} ms after the page was opened")
        icon_width = self.driver.execute_async_script(
            "const done = arguments[0], icon = new Image();"
            "icon.onload = () => done(icon.naturalWidth); icon.onerror = () => done(0);"
            "icon.src = document.querySelector('link[rel=icon]').href;")
        self.assertGreater(icon_width, 0)
        problems = [entry["message"] for entry in self.driver.get_log("browser")]
        self.assertEqual(problems, [])

    def test_serve_sends_the_headers(self):
        server = subprocess.Popen([str(ROOT / "web" / "serve"), str(SITE), "0"],
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        try:
            origin = re.search(r"http://\S+/", server.stdout.readline()).group(0)
            named = lambda pattern: next(SITE.glob(pattern)).name
            for_a_year = "max-age=31536000, immutable"
            cases = [("", "text/html", "no-cache"), ("index.html", "text/html", "no-cache"),
                     ("offline.js", "text/javascript", "no-cache"),
                     (named("worker.*.js"), "text/javascript", for_a_year),
                     (named("calculator.*.wasm"), "application/wasm", for_a_year),
                     (named("icon.*.svg"), "image/svg+xml", for_a_year)]
            for path, content_type, caching in cases:
                with self.subTest(path=path):
                    with urllib.request.urlopen(origin + path) as response:
                        headers = response.headers
                    self.assertTrue(headers["Content-Type"].startswith(content_type))
                    self.assertIn(caching, headers["Cache-Control"])
                    self.assertEqual(headers["X-Content-Type-Options"], "nosniff")
                    self.assertIn("script-src 'self' 'wasm-unsafe-eval'",
                                  headers["Content-Security-Policy"])
                    self.assertTrue(headers["Content-Security-Policy"]
                                    .endswith("; frame-ancestors 'none'"))
        finally:
            server.terminate()
            server.wait()
            server.stdout.close()

    def test_a_rebuild_is_never_seen_half_done(self):
        work = pathlib.Path(tempfile.mkdtemp(prefix="calculator-rebuild-"))
        files = work / "files"
        shutil.copytree(BUILD / "page-files", files)
        stamp(files, work / "site")
        server = start_server(work / "site")
        answers, stopped = [], threading.Event()

        def visit():
            while not stopped.is_set():
                for path in ("/", "/offline.js"):
                    try:
                        with urllib.request.urlopen(server.origin + path) as response:
                            answers.append(response.status)
                    except urllib.error.HTTPError as error:
                        answers.append(error.code)
        visitor = threading.Thread(target=visit)
        visitor.start()
        try:
            for version in range(2):
                with open(files / "page.js", "a", encoding="utf-8") as page:
                    page.write(f"// version {version}\n")
                stamp(files, work / "site")
        finally:
            stopped.set()
            visitor.join()
            end_server(server)
            shutil.rmtree(work, ignore_errors=True)
        self.assertGreater(len(answers), 20)
        self.assertEqual(set(answers), {200})

    def test_serve_compresses_and_lists_no_folder(self):
        work = pathlib.Path(tempfile.mkdtemp(prefix="calculator-serve-"))
        shutil.copytree(SITE, work / "site")
        (work / "site" / "folder").mkdir()
        server = subprocess.Popen([str(ROOT / "web" / "serve"), str(work / "site"), "0"],
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        try:
            origin = re.search(r"http://\S+/", server.stdout.readline()).group(0)
            script = next(SITE.glob("page.*.js")).name
            plain = (SITE / script).read_bytes()
            brotli = (SITE / (script + ".br")).exists()
            cases = [("folder/", "gzip", 404, None), ("folder", "", 404, None),
                     (script, "gzip, deflate", 200, "gzip"), (script, "", 200, None),
                     (script, "gzip;q=0", 200, None), ("", "gzip", 200, "gzip"),
                     (script, "br, gzip", 200, "br" if brotli else "gzip")]
            for path, accepted, status, coding in cases:
                with self.subTest(path=path, accepted=accepted):
                    request = urllib.request.Request(origin + path,
                                                     headers={"Accept-Encoding": accepted})
                    try:
                        with urllib.request.urlopen(request) as response:
                            got, headers, body = response.status, response.headers, response.read()
                    except urllib.error.HTTPError as error:
                        got, headers, body = error.code, error.headers, error.read()
                    self.assertEqual((got, headers["Content-Encoding"]), (status, coding))
                    if status == 200:
                        self.assertEqual(headers["Vary"], "Accept-Encoding")
                    else:
                        self.assertNotIn(b"Directory listing", body)
                    if path == script and coding == "gzip":
                        self.assertEqual(gzip.decompress(body), plain)
                    elif path == script and coding is None:
                        self.assertEqual(body, plain)
        finally:
            server.terminate()
            server.wait()
            server.stdout.close()
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
