"""Each page's time from opening it to its first picture on the canvas, in headless chromium,
and the running kammel's passes (step, redraw, poll) per second with its presets.

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


def passes_per_second(driver, server):
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys

    def wait():
        while not driver.execute_script("return JapiWeb.isWaiting()"):
            time.sleep(0.01)

    def item(title, label):
        driver.find_element(By.XPATH, f"//button[text()='{title}']").click()
        driver.find_element(By.XPATH, f"//span[text()='{label}']").click()

    driver.get(f"http://127.0.0.1:{server.server_address[1]}/kammel.html?seed=1")
    time.sleep(0.5)
    wait()
    item("Run", "Eingabe")
    wait()
    while driver.execute_script("return document.querySelector('dialog[open]') !== null"):
        driver.switch_to.active_element.send_keys(Keys.ENTER)
        wait()
    item("Run", "Start")
    time.sleep(0.5)
    start = driver.execute_script("return [JapiWeb.stats.polls, performance.now()]")
    time.sleep(3)
    end = driver.execute_script("return [JapiWeb.stats.polls, performance.now()]")
    item("Run", "Stop ")
    return (end[0] - start[0]) / ((end[1] - start[1]) / 1000)


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
        print(f"kammel_passes_per_second {passes_per_second(driver, server):.0f}")
    finally:
        driver.quit()
        server.shutdown()


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "build-web")
