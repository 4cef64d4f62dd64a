"""The three programs' pages in a real browser: Debian's chromium, headless, driven by selenium.

Each page starts with its window, menus and canvas; the dialogs ask with their presets, refuse
what is out of range or not a number and ask again with it; the canvas then holds exactly the
picture kammelsim draws for the same seed; Start by mouse, Start and Stop, Quit and the close box.
Run by scripts/test after scripts/web; KAMMEL_WEB_DIR and KAMMELSIM name other builds.
"""

import base64
import functools
import http.server
import io
import os
import pathlib
import shutil
import subprocess
import tempfile
import threading
import time

import pytest

ROOT = pathlib.Path(__file__).resolve().parents[2]
WEB = pathlib.Path(os.environ.get("KAMMEL_WEB_DIR", ROOT / "build-web"))
KAMMELSIM = pathlib.Path(os.environ.get("KAMMELSIM", ROOT / "build" / "bin" / "kammelsim"))
SEED = 4321

try:
    from PIL import Image
    from selenium import webdriver
    from selenium.webdriver.chrome.options import Options
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.by import By
    from selenium.webdriver.common.keys import Keys
except ImportError as missing:  # pragma: no cover - only where the packages cannot be had
    pytest.skip(f"no browser tests: {missing} (scripts/setup installs python3-selenium)",
                allow_module_level=True)

CHROMIUM = shutil.which("chromium")
CHROMEDRIVER = shutil.which("chromedriver")
if not CHROMIUM or not CHROMEDRIVER:
    pytest.skip("no browser tests: chromium and chromium-driver are not installed "
                "(scripts/setup installs them)", allow_module_level=True)


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


@pytest.fixture(scope="module")
def site():
    assert (WEB / "index.html").is_file(), f"{WEB} holds no pages: run scripts/web first"
    handler = functools.partial(QuietHandler, directory=str(WEB))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    yield f"http://127.0.0.1:{server.server_address[1]}"
    server.shutdown()


def chromium(*arguments):
    options = Options()
    options.binary_location = CHROMIUM
    for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1200,900",
                     "--disable-dev-shm-usage", *arguments):
        options.add_argument(argument)
    return webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)


@pytest.fixture
def browser():
    driver = chromium()
    yield driver
    driver.quit()


def until(driver, script, what, timeout=30):
    """Waits for a script's truth; no speed is asserted, only that it comes."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if driver.execute_script(script):
            return
        time.sleep(0.02)
    raise AssertionError(f"timed out waiting for {what}")


def waiting(driver):
    until(driver, "return typeof JapiWeb !== 'undefined' && JapiWeb.isWaiting()",
          "the program to wait for the user")


def open_program(driver, site, name, seed=SEED):
    driver.get(f"{site}/{name}.html?seed={seed}")
    waiting(driver)


def menu(driver, title, item):
    driver.find_element(By.XPATH, f"//button[@class='japi-menu-title' and text()='{title}']").click()
    items = driver.find_elements(By.CSS_SELECTOR, ".japi-item")
    [target] = [i for i in items if i.find_element(By.CSS_SELECTOR, ".japi-item-label")
                .get_attribute("textContent") == item]
    target.click()


def dialog(driver):
    """The open dialog: title, prompt, field's text and size, button, whether modal; or None."""
    return driver.execute_script("""
        const d = document.querySelector('dialog[open]');
        if (!d) return null;
        const field = d.querySelector('input');
        return {title: d.querySelector('header').textContent,
                prompt: d.querySelector('.japi-label').textContent,
                text: field.value, size: field.size, width: field.style.width,
                button: d.querySelector('button').textContent, modal: d.matches(':modal'),
                focused: document.activeElement === field,
                selected: field.selectionStart === 0 && field.selectionEnd === field.value.length};
    """)


def answer(driver, text=None):
    """Confirms the open dialog with Enter, typing text over the preset first if given."""
    waiting(driver)
    field = driver.switch_to.active_element
    if text is not None:
        field.send_keys(Keys.CONTROL, "a")
        field.send_keys(text)
    field.send_keys(Keys.ENTER)
    waiting(driver)


def presets(driver):
    """Confirms every dialog with its preset; returns what each showed."""
    shown = []
    while (d := dialog(driver)) is not None:
        shown.append(d)
        answer(driver)
    return shown


def keys(driver, cases):
    """Presses each (key, ctrl) on the page; gives for each the code and character the
    program's key listener then reports, and whether the page kept the key from the browser."""
    return driver.execute_script("""
        const listener = () => [...Array(100).keys()].find(h => JapiWeb.query(5, h) !== 0);
        return arguments[0].map(([key, ctrlKey]) => {
            const e = new KeyboardEvent('keydown', {key, ctrlKey, bubbles: true,
                                                    cancelable: true});
            document.activeElement.dispatchEvent(e);
            const h = listener();
            return [h && JapiWeb.query(5, h), h && JapiWeb.query(6, h), e.defaultPrevented];
        });""", cases)


def canvas_picture(driver):
    data = driver.execute_script(
        "return document.querySelector('canvas').toDataURL('image/png').split(',')[1]")
    return Image.open(io.BytesIO(base64.b64decode(data))).convert("RGB")


def kammelsim_picture(*arguments):
    with tempfile.TemporaryDirectory() as folder:
        png = pathlib.Path(folder) / "picture.png"
        subprocess.run([str(KAMMELSIM), *arguments, "--seed", str(SEED), "--png", str(png)],
                       check=True, stdout=subprocess.DEVNULL)
        return Image.open(png).convert("RGB")


def assert_same_picture(page, reference):
    assert page.size == reference.size
    differing = sum(a != b for a, b in zip(page.getdata(), reference.getdata()))
    assert differing == 0, f"{differing} pixels differ from kammelsim's picture"


def test_relief_window_dialogs_pictures_and_quit(site, browser):
    open_program(browser, site, "kammel3")
    assert browser.title == "kammel3"
    assert browser.find_element(By.CSS_SELECTOR, ".japi-title").text == "kammel3"
    menus = browser.execute_script("""
        return [...document.querySelectorAll('.japi-menu')].map(m => [
            m.querySelector('.japi-menu-title').textContent,
            [...m.querySelectorAll('.japi-item')].map(i => [
                i.querySelector('.japi-item-label').textContent,
                i.querySelector('.japi-item-keys').textContent])]);
    """)
    assert menus == [
        ["Datei", [["Quit", "Ctrl+C"]]],
        ["Grafik", [[" Grafik löschen", ""], [" Grafik speichern", ""]]],
        ["Run", [["Eingabe", ""], ["Start", ""], ["Stop ", "Ctrl+S"]]],
    ]
    size = browser.execute_script(
        "const c = document.querySelector('canvas'); return [c.width, c.height]")
    assert size == [800, 600]

    menu(browser, "Run", "Eingabe")
    waiting(browser)
    first = dialog(browser)
    assert first["title"] == "Integer-Eingabe" and first["text"] == " 300"
    assert first["button"] == " ok " and first["modal"] and first["focused"] and first["selected"]
    assert first["size"] == 20 and first["width"] == "80px"
    # Centred on the program's window, not on the browser's.
    offset = browser.execute_script("""
        const centre = (e) => { const r = e.getBoundingClientRect();
                                return [r.left + r.width / 2, r.top + r.height / 2]; };
        const [d, f] = [centre(document.querySelector('dialog[open]')),
                        centre(document.querySelector('.japi-frame'))];
        return [d[0] - f[0], d[1] - f[1]];""")
    assert all(abs(o) <= 1 for o in offset), offset
    # Ctrl+C in a dialog's field is the browser's copy, not Quit.
    browser.switch_to.active_element.send_keys(Keys.CONTROL, "c")
    time.sleep(0.1)
    assert not browser.execute_script("return JapiWeb.hasEnded()") and dialog(browser)
    # Ctrl+S, Stop's shortcut, is still kept from the browser (no "Save page" over the dialog);
    # the field's own Ctrl keys stay the browser's.
    kept = browser.execute_script("""
        return ['s', 'c', 'v', 'a'].map(key => {
            const e = new KeyboardEvent('keydown', {key, ctrlKey: true, bubbles: true,
                                                    cancelable: true});
            document.activeElement.dispatchEvent(e);
            return e.defaultPrevented;
        });""")
    assert kept == [True, False, False, False] and dialog(browser) == first
    # Escape, as on the desktop, leaves the dialog up, however often it is pressed; a click on
    # its prompt or beside it leaves the typing in the field.
    for _ in range(3):
        browser.switch_to.active_element.send_keys(Keys.ESCAPE)
        time.sleep(0.1)
        assert dialog(browser) == first
    prompt = browser.find_element(By.CSS_SELECTOR, "dialog[open] .japi-label")
    prompt.click()
    ActionChains(browser).move_to_element_with_offset(prompt, 0, -150).click().perform()
    assert dialog(browser) == first
    # Out of range, then not a number: asked again each time, with what was typed.
    answer(browser, "1000")
    assert dialog(browser)["title"] == "Integer-Eingabe"
    assert dialog(browser)["text"] == "1000" and dialog(browser)["prompt"] == first["prompt"]
    answer(browser, "3x0")
    assert dialog(browser)["text"] == "3x0"
    # The field takes what the program can read, 254 characters, and no more than it shows.
    browser.switch_to.active_element.send_keys("7" * 300)
    assert len(dialog(browser)["text"]) == 254
    answer(browser, "300")
    rest = presets(browser)
    assert [d["title"] for d in rest] == ["Integer-Eingabe"] * 2 + ["Real-Eingabe"] * 2 + [
        "Integer-Eingabe"]
    assert [d["text"] for d in rest] == ["  30", " 20", "   2.00", "   5.00", "  1"]
    assert_same_picture(canvas_picture(browser), kammelsim_picture("bed", "--batches", "0"))

    # With a menu open, Escape closes it, and so does a press on the canvas, which then is no
    # Start: neither reaches the program, as on the desktop.
    before = browser.execute_script("return JapiWeb.stats.presents")
    run = browser.find_element(By.XPATH, "//button[@class='japi-menu-title' and text()='Run']")
    shown = "return [...document.querySelectorAll('.japi-menu-list')].some(l => !l.hidden)"
    run.click()
    # Its moving keys are its own too: down past the end and back, then to the menu beside.
    item = "return document.activeElement.querySelector('.japi-item-label').textContent"
    ActionChains(browser).send_keys(*[Keys.ARROW_DOWN] * 3, Keys.ARROW_UP).perform()
    assert browser.execute_script(item) == "Start"
    ActionChains(browser).send_keys(Keys.ARROW_RIGHT).perform()
    assert browser.execute_script(item) == "Quit"
    ActionChains(browser).send_keys(Keys.ESCAPE).perform()
    assert not browser.execute_script(shown)
    # The program heard none of these keys, nor the Enter that confirmed the last dialog.
    assert browser.execute_script(
        "return [...Array(100).keys()].every(h => JapiWeb.query(5, h) === 0)"), "a key heard"
    run.click()
    ActionChains(browser).move_to_element(browser.find_element(By.TAG_NAME, "canvas")).click().perform()
    assert not browser.execute_script(shown)
    # A mouse press on the canvas is Start: one batch, one redraw.
    ActionChains(browser).move_to_element(browser.find_element(By.TAG_NAME, "canvas")).click().perform()
    until(browser, f"return JapiWeb.stats.presents > {before} && JapiWeb.isWaiting()", "the batch")
    assert_same_picture(canvas_picture(browser), kammelsim_picture("bed", "--batches", "1"))

    # Ctrl+C is Quit, taken from the browser; the page says so and offers to start again.
    browser.find_element(By.TAG_NAME, "body").send_keys(Keys.CONTROL, "c")
    until(browser, "return JapiWeb.hasEnded()", "the program to end")
    notice = browser.find_element(By.ID, "japi-ended")
    assert notice.is_displayed() and "kammel3 has ended." in notice.text
    notice.find_element(By.TAG_NAME, "button").click()
    waiting(browser)
    assert browser.find_elements(By.CSS_SELECTOR, ".japi-menu-title")


def test_map_pictures_and_close_box(site, browser):
    open_program(browser, site, "kammel3map")
    assert browser.title == "kammel3map"
    menu(browser, "Run", "Eingabe")
    waiting(browser)
    shown = presets(browser)
    assert len(shown) >= 6 and all(d["modal"] for d in shown)
    before = canvas_picture(browser)
    assert_same_picture(before, kammelsim_picture("bed", "--settings", "map", "--batches", "0"))
    ActionChains(browser).move_to_element(browser.find_element(By.TAG_NAME, "canvas")).click().perform()
    until(browser, "return JapiWeb.stats.presents > 2 && JapiWeb.isWaiting()", "the batch")
    # The picture drew from the generator the batch goes on with, so the bed is the program's
    # own now: every cell still brown, yellow or white, and not the picture before.
    after = canvas_picture(browser)
    colours = {(160, 120, 0), (252, 252, 72), (255, 255, 255)}
    assert set(after.getdata()) <= colours | {(0, 0, 0)}
    assert set(after.getdata()) & colours
    assert list(after.getdata()) != list(before.getdata())
    browser.find_element(By.CSS_SELECTOR, ".japi-close").click()
    until(browser, "return JapiWeb.hasEnded()", "the program to end")


def test_a_zoomed_page_scales_the_canvas_cell_by_cell(site):
    """At 150 % (a browser's zoom, or a dense screen) the canvas is scaled as the desktop
    scales it: every pixel on the screen one of the picture's, none blended of neighbours."""
    driver = chromium("--force-device-scale-factor=1.5")
    try:
        open_program(driver, site, "kammel3map")
        menu(driver, "Run", "Eingabe")
        waiting(driver)
        presets(driver)
        canvas = driver.find_element(By.TAG_NAME, "canvas")
        shown = Image.open(io.BytesIO(canvas.screenshot_as_png)).convert("RGB")
        assert shown.size == (1200, 900)
        assert set(shown.getdata()) <= set(canvas_picture(driver).getdata())
    finally:
        driver.quit()


def test_profile_runs_until_stop_and_quits(site, browser):
    open_program(browser, site, "kammel")
    menu(browser, "Run", "Eingabe")
    waiting(browser)
    shown = presets(browser)
    assert shown and shown[0]["title"] == "Integer-Eingabe"
    assert_same_picture(canvas_picture(browser), kammelsim_picture("profile", "--steps", "0"))
    # Start: step after step, the page still taking clicks; Stop ends the run, and the program
    # waits again with its last picture.
    menu(browser, "Run", "Start")
    until(browser, "return JapiWeb.stats.presents > 20", "the run to draw")
    assert not browser.execute_script("return JapiWeb.isWaiting()")
    menu(browser, "Run", "Stop ")
    waiting(browser)
    stopped = browser.execute_script("return JapiWeb.stats.presents")
    time.sleep(0.3)
    assert browser.execute_script("return JapiWeb.stats.presents") == stopped
    # Keys carry what the desktop's give: a letter's code is its capital's whatever the case
    # typed, where the capital is Latin-1; Ctrl makes a control character. Ctrl+S, Stop in
    # the other programs and none here, is a key as any other, and no "Save page" either.
    cases = [(("\u00e4", False), [256 + 0xc4, 0xe4, False]),
             (("\u00df", False), [256 + 0xdf, 0xdf, False]),
             (("\u00ff", False), [256 + 0xff, 0xff, False]), (("s", True), [83, 19, True]),
             (("1", True), [49, 49, False]), (("Delete", False), [46, 127, False])]
    assert keys(browser, [key for key, _ in cases]) == [code for _, code in cases]
    # A dialog holds the page: the menus take no click behind it.
    menu(browser, "Run", "Eingabe")
    waiting(browser)
    assert dialog(browser)["modal"]
    assert [kept for _, _, kept in keys(browser, [("s", True), ("c", True)])] == [True, False]
    presets(browser)
    menu(browser, "Datei", "Quit")
    until(browser, "return JapiWeb.hasEnded()", "the program to end")


def test_the_seed_in_the_address(site, browser):
    """A seed the page takes fixes the program's clock at it; any other, or several, is
    refused with a notice and the clock seeds the generator."""
    cases = [("0", 0), ("86399999", 86399999), ("000000042", 42),
             ("", None), ("abc", None), ("-1", None), ("86400000", None), ("99999999999", None),
             ("1.5", None), ("%205", None), ("7&seed=8", None)]
    for query, seed in cases:
        browser.get(f"{site}/kammel3.html?seed={query}")
        waiting(browser)
        notice = browser.find_element(By.ID, "japi-notice")
        if seed is None:
            assert notice.is_displayed() and "ignored" in notice.text, query
            assert browser.execute_script("return Date.now()") > 86400000, query
        else:
            assert not notice.is_displayed(), query
            assert browser.execute_script("return Date.now()") == seed, query
