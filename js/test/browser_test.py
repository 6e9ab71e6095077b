#!/usr/bin/python3
"""The npm package in headless Chromium: the module fetches its .wasm from
beside itself, evaluateAsync runs in a module Worker and an AbortSignal
ends it. The same script runs under Node, and both must give the same
results.

    /usr/bin/python3 js/test/browser_test.py PACKAGE_DIR

(Debian's python3-selenium imports only in /usr/bin/python3.)
"""
import functools
import http.server
import json
import pathlib
import shutil
import subprocess
import sys
import tempfile
import threading
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.service import Service

PACKAGE = pathlib.Path(sys.argv[1]).resolve()

# Runs with the package's module as `calculator`; ends with done(results).
CHECKS = """
const {Session, CalculatorError, formatNumber} = calculator;
const results = {};
const session = await Session.create();
session.set('r', 2);
results.evaluate = session.evaluate('pi*r^2');
results.answer = session.answer('sigma(i,1,2,1/0)+1');
try {
  session.evaluate('1/0');
} catch (error) {
  results.error = [error instanceof CalculatorError, error.message];
}
results.inWorker = await session.evaluateAsync('set(z, r*3)+0.5');
results.z = session.get('z');
results.nan = formatNumber(await session.evaluateAsync('log(-1)'));
const controller = new AbortController();
const running = session.evaluateAsync('set(w, 1)+sigma(i,1,2000000000,i)', {signal: controller.signal});
setTimeout(() => controller.abort(), 300);
try {
  await running;
  results.aborted = 'not aborted';
} catch (error) {
  results.aborted = error.name;
}
results.afterAbort = [...session.variables().keys()].join();
results.again = await session.evaluateAsync('r+z');
session.close();
done(results);
"""


def node_results():
    script = (f"const calculator = await import({json.dumps((PACKAGE / 'session.js').as_uri())});\n"
              "const done = (results) => console.log(JSON.stringify(results));\n" + CHECKS)
    output = subprocess.run(["node", "--input-type=module", "-e", script], check=True,
                            capture_output=True, text=True, timeout=60).stdout
    return json.loads(output)


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {".js": "text/javascript", ".wasm": "application/wasm",
                      ".html": "text/html", "": "application/octet-stream"}

    def log_message(self, *args):
        pass


class PackageInChromium(unittest.TestCase):
    def test_same_results_as_under_node(self):
        folder = pathlib.Path(tempfile.mkdtemp(prefix="calculator-npm-browser-"))
        (folder / "index.html").write_text("<!doctype html><title>package</title>\n")
        (folder / "calculator").symlink_to(PACKAGE)
        server = http.server.ThreadingHTTPServer(
            ("127.0.0.1", 0), functools.partial(Handler, directory=str(folder)))
        threading.Thread(target=server.serve_forever, daemon=True).start()
        options = webdriver.ChromeOptions()
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
                     "--disable-background-networking", "--disable-component-update",
                     "--disable-dev-shm-usage", f"--user-data-dir={folder / 'profile'}"):
            options.add_argument(flag)
        driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
        try:
            driver.set_script_timeout(60)
            driver.get(f"http://127.0.0.1:{server.server_address[1]}/index.html")
            browser = driver.execute_async_script(
                "const done = arguments[arguments.length - 1];\n"
                "(async () => {\n"
                "const calculator = await import('/calculator/session.js');\n" + CHECKS +
                "})().catch((error) => done({failure: String(error.stack || error)}));")
        finally:
            driver.quit()
            server.shutdown()
            server.server_close()
            shutil.rmtree(folder, ignore_errors=True)
        node = node_results()
        self.assertEqual(browser.get("aborted"), "AbortError", browser)
        self.assertEqual(browser.get("afterAbort"), "r,z", browser)
        self.assertEqual(browser, node)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
