#!/usr/bin/python3
"""The task list example in a real browser: headless Chromium, driven through
chromedriver by Selenium, against the page, the client library and the runner
served by lighttpd from a real FerretDB (tools/tasks_site.sh).

    tests/e2e/tasks_browser_test.py RUNNER

Prints each step and what the page showed. Exits 77 (skipped) when Chromium,
chromedriver or Selenium is missing. Debian's python3-selenium belongs to
Debian's own Python, hence /usr/bin/python3.
"""
import os
import shutil
import subprocess
import sys
import tempfile

SKIP = 77
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.common.exceptions import StaleElementReferenceException
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait
except ImportError:
    print("SKIP: Selenium for Python is missing (Debian: python3-selenium)")
    sys.exit(SKIP)

CHROMIUM = shutil.which("chromium") or shutil.which("chromium-browser")
CHROMEDRIVER = shutil.which("chromedriver")
PASSWORD = "tea for two"
# The browser lives in another zone than the runner (which keeps the
# machine's), so the times shown must be the browser's own local time.
BROWSER_ZONE = "Pacific/Auckland"


def start_site(runner):
    site = subprocess.Popen([os.path.join(ROOT, "tools", "tasks_site.sh"), runner, PASSWORD],
                            stdout=subprocess.PIPE, text=True)
    info = {}
    for line in site.stdout:
        key, _, value = line.strip().partition(" ")
        info[key] = value
        if key == "journal":
            break
    if "url" not in info:
        site.terminate()
        raise SystemExit("FAIL: the site did not start")
    return site, info


def start_browser(profile):
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage", f"--user-data-dir={profile}"):
        options.add_argument(flag)
    environment = dict(os.environ, TZ=BROWSER_ZONE)
    return webdriver.Chrome(service=Service(executable_path=CHROMEDRIVER, env=environment), options=options)


class Page:
    def __init__(self, browser):
        self.browser = browser
        # The page replaces the list with every answer: an element read while
        # that happens is stale, and the check is simply tried again.
        self.wait = WebDriverWait(browser, 15, ignored_exceptions=[StaleElementReferenceException])

    def by_id(self, name):
        return self.browser.find_element(By.ID, name)

    def ready(self):
        self.wait.until(lambda b: b.execute_script("return document.body.dataset.ready") == "yes")

    def message(self):
        return self.by_id("message").text

    def tasks(self):
        """[(text, done, shown time)] of the list as the page shows it."""
        rows = []
        for li in self.browser.find_elements(By.CSS_SELECTOR, "#tasks li"):
            rows.append((li.find_element(By.CLASS_NAME, "text").text, "done" in li.get_attribute("class").split(),
                         li.find_element(By.TAG_NAME, "time").text))
        return rows

    def per_day(self):
        return [tuple(td.text for td in tr.find_elements(By.TAG_NAME, "td"))
                for tr in self.browser.find_elements(By.CSS_SELECTOR, "#per-day tr")]

    def until(self, what, condition):
        try:
            self.wait.until(lambda b: condition())
        except Exception:
            raise AssertionError(f"{what}: the page shows message={self.message()!r} tasks={self.tasks()} "
                                 f"per_day={self.per_day()}")

    def type_into(self, name, text):
        field = self.by_id(name)
        field.clear()
        if text:
            field.send_keys(text)


def step(title, page):
    print(f"== {title}")
    print(f"   message: {page.message()!r}")
    print(f"   tasks:   {page.tasks()}")
    print(f"   per day: {page.per_day()}")


def run(page, url):
    page.browser.get(url)
    page.ready()
    page.until("sign-in form", lambda: page.by_id("signin").is_displayed())
    step("open the page: the sign-in form", page)

    page.type_into("name", "ann")
    page.type_into("password", "not the password")
    page.by_id("signin-button").click()
    page.until("wrong password refused", lambda: page.message() == "wrong name or password")
    assert not page.by_id("app").is_displayed()
    step("sign in with a wrong password: refused", page)

    page.type_into("password", PASSWORD)
    page.by_id("signin-button").click()
    page.until("signed in", lambda: page.by_id("app").is_displayed())
    assert page.by_id("user").text == "ann"
    assert page.tasks() == []
    step("sign in as ann", page)

    for text in ("buy green tea", "write the report"):
        page.type_into("text", text)
        page.by_id("add-button").click()
        page.until(f"{text} added", lambda: text in [t for t, _, _ in page.tasks()])
    assert [t for t, _, _ in page.tasks()] == ["buy green tea", "write the report"]
    day = page.browser.execute_script(
        "const d = new Date(); return d.getFullYear() + '-' + String(d.getMonth() + 1).padStart(2, '0')"
        " + '-' + String(d.getDate()).padStart(2, '0')")
    page.until("two added today", lambda: page.per_day() == [(day, "2", "0")])
    shown = page.tasks()[0][2]
    local = page.browser.execute_script("return new Date().toLocaleString()")
    zone = page.browser.execute_script("return Intl.DateTimeFormat().resolvedOptions().timeZone")
    assert zone == BROWSER_ZONE, zone
    assert shown.split(",")[0] == local.split(",")[0], f"shown {shown!r}, the browser's local time is {local!r}"
    step(f"add two tasks (the browser's zone is {zone}, its clock shows {local})", page)

    page.browser.refresh()
    page.ready()
    page.until("both after reload", lambda: len(page.tasks()) == 2)
    assert page.by_id("app").is_displayed()
    step("reload: still signed in, both tasks there", page)

    page.type_into("text", "")
    page.by_id("add-button").click()
    page.until("empty refused", lambda: page.message() == "Write what is to be done first.")
    assert len(page.tasks()) == 2
    step("add an empty task: the application's message", page)

    page.type_into("text", "x" * 121)
    page.by_id("add-button").click()
    page.until("overlong refused", lambda: page.message() == "A task is at most 120 characters long.")
    assert len(page.tasks()) == 2
    step("add a task of 121 characters: the application's message", page)

    first = page.browser.find_elements(By.CSS_SELECTOR, "#tasks li")[0]
    first.find_element(By.CLASS_NAME, "done").click()
    page.until("first done", lambda: page.tasks() and page.tasks()[0][1])
    page.until("count of done", lambda: page.per_day() == [(day, "2", "1")])
    step("mark 'buy green tea' done", page)

    second = page.browser.find_elements(By.CSS_SELECTOR, "#tasks li")[1]
    second.find_element(By.CLASS_NAME, "delete").click()
    page.until("second deleted", lambda: [t for t, _, _ in page.tasks()] == ["buy green tea"])
    page.until("count after delete", lambda: page.per_day() == [(day, "1", "1")])
    step("delete 'write the report'", page)


def main():
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    missing = [name for name, path in (("chromium", CHROMIUM), ("chromedriver", CHROMEDRIVER)) if not path]
    if missing:
        print(f"SKIP: {' and '.join(missing)} missing (Debian: chromium, chromium-driver)")
        return SKIP
    site, info = start_site(os.path.abspath(sys.argv[1]))
    profile = tempfile.mkdtemp(prefix="tolv-chromium-")
    browser = None
    try:
        print(f"site {info['url']}")
        browser = start_browser(profile)
        run(Page(browser), info["url"])
        print("PASS")
        return 0
    except AssertionError as e:
        print(f"FAIL: {e}")
        with open(info["journal"], errors="replace") as journal:
            print("journal:\n" + journal.read()[-4000:])
        return 1
    finally:
        if browser:
            browser.quit()
        site.terminate()
        site.wait(30)
        shutil.rmtree(profile, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
