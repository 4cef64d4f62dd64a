"""Each page's time from opening it to its first picture on the canvas, in headless chromium.

python3 bench/web_first_picture.py build-web  (scripts/web-bench --browser runs it). Reports
the median of 5 loads per page, in milliseconds from the navigation's start.
"""

import functools
import http.server
import statistics
import sys
import threading
import time

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def main(folder):
    handler = functools.partial(QuietHandler, directory=folder)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    options = Options()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1200,900"):
        options.add_argument(argument)
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    try:
        for name in ("kammel3", "kammel3map", "kammel"):
            times = []
            for _ in range(5):
                driver.get(f"http://127.0.0.1:{server.server_address[1]}/{name}.html")
                deadline = time.monotonic() + 30
                while time.monotonic() < deadline:
                    first = driver.execute_script(
                        "return typeof JapiWeb === 'undefined' ? null : JapiWeb.stats.firstPicture")
                    if first is not None:
                        times.append(first)
                        break
                    time.sleep(0.01)
            print(f"first_picture_ms {name} {statistics.median(times):.0f}")
    finally:
        driver.quit()
        server.shutdown()


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "build-web")
