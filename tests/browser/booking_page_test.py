#!/usr/bin/env python3
"""The booking page end to end in headless Chromium, against the built server on a fresh
demo database: search, hold, book, the booking's code and manage link, look up, cancel, a
hold that runs out, and a server that has gone away. Screenshots of each step go to ./screenshots/. Exits 77 (skipped) only when
Chromium or its driver is not installed."""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request

SKIP = 77
PHONE = (412, 1000)


def find_browser():
    browser = shutil.which("chromium") or shutil.which("chromium-browser")
    driver = shutil.which("chromedriver")
    return (browser, driver) if browser and driver else None


class Server:
    """taurelin-api on a fresh demo SQLite database, line protocol and HTTP on free ports."""

    def __init__(self, api, db):
        self.dir = tempfile.TemporaryDirectory(prefix="booking-page-")
        root = self.dir.name
        aliases = os.path.join(root, "aliases.ini")
        with open(aliases, "w", encoding="utf-8") as out:
            out.write("[test]\ndriver=QSQLITE\ndatabase=%s\n" % os.path.join(root, "demo.db"))
        subprocess.run([db, "--aliases", aliases, "init", "test", "--demo"], check=True,
                       stdout=subprocess.DEVNULL, timeout=60)
        config = os.path.join(root, "taurelin.conf")
        with open(config, "w", encoding="utf-8") as out:
            out.write("[Software]\n"
                      "Vindrelok\\Taurelin\\API\\Port=0\n"
                      "Vindrelok\\Taurelin\\API\\IPAddress=127.0.0.1\n"
                      "Vindrelok\\Taurelin\\API\\DatabaseAlias=test\n")
        self.process = subprocess.Popen(
            [api, "--headless", "--config", config, "--aliases", aliases, "--http", "0"],
            cwd=root, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.PIPE, text=True)
        self.errors = []
        found = threading.Event()
        self.port = None

        def drain():
            for line in self.process.stderr:
                self.errors.append(line)
                match = re.search(r"HTTP API on http://[^ ]*:(\d+)/", line)
                if match:
                    self.port = int(match.group(1))
                    found.set()

        threading.Thread(target=drain, daemon=True).start()
        if not found.wait(30):
            self.stop()
            raise RuntimeError("the server did not start:\n" + "".join(self.errors))
        self.base = "http://127.0.0.1:%d" % self.port

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(20)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()

    def get(self, path, headers=None):
        """Status, content type and JSON (or None) of GET path."""
        request = urllib.request.Request(self.base + path, headers=headers or {})
        try:
            with urllib.request.urlopen(request, timeout=10) as answer:
                body = answer.read()
                status, kind = answer.status, answer.headers.get("Content-Type", "")
        except urllib.error.HTTPError as error:
            body = error.read()
            status, kind = error.code, error.headers.get("Content-Type", "")
        try:
            data = json.loads(body)
        except ValueError:
            data = None
        return status, kind, data


class Failure(AssertionError):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


def free_units(server, arrival, departure, kind, board):
    status, _, data = server.get("/api/v1/availability?facility=1&arrival=%s&departure=%s"
                                 % (arrival, departure))
    check(status == 200, "availability answered %d" % status)
    for row in data["availability"]:
        if row["type"] == kind and row["board"] == board:
            return row["free"]
    return 0


def run(server, screenshots):
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait

    # The page's files, each with its type; any other path stays the API's JSON 404.
    for path, kind in [("/", "text/html"), ("/app.js", "text/javascript"),
                       ("/texts.js", "text/javascript"), ("/style.css", "text/css")]:
        status, got, _ = server.get(path)
        check(status == 200 and got.startswith(kind), "%s: %d %s" % (path, status, got))
    status, kind, data = server.get("/no-such-file.js")
    check(status == 404 and kind.startswith("application/json") and "error" in data,
          "an unknown path answered %d %s" % (status, kind))

    options = webdriver.ChromeOptions()
    options.add_argument("--headless=new")
    options.add_argument("--no-sandbox")
    options.add_argument("--disable-dev-shm-usage")
    options.add_argument("--window-size=%d,%d" % PHONE)
    options.add_argument("--lang=nb-NO")
    options.binary_location = find_browser()[0]
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service(find_browser()[1]), options=options)
    wait = WebDriverWait(driver, 10)
    by_id = lambda name: driver.find_element(By.ID, name)

    def shot(name, element=None):
        if element is not None:
            driver.execute_script("arguments[0].scrollIntoView({block: 'start'})", element)
        driver.save_screenshot(os.path.join(screenshots, name))
        print("screenshot", name)

    def message():
        box = by_id("message")
        return box.text if box.is_displayed() else ""

    def texts(name):
        return driver.execute_script("return TEXTS[arguments[0]];", name)

    def search():
        by_id("search").click()
        wait.until(lambda d: by_id("results-section").is_displayed() or message())
        check(not message(), "the search failed: " + message())

    try:
        driver.get(server.base + "/")
        wait.until(lambda d: d.title)
        check(driver.title == texts("title"), "the page's texts were not applied")
        check(driver.execute_script(
            "return document.documentElement.scrollWidth <= window.innerWidth;"),
            "the page is wider than a phone")
        arrival = by_id("arrival").get_attribute("value")
        departure = by_id("departure").get_attribute("value")
        shot("01-search.png")

        search()
        types = driver.find_elements(By.CSS_SELECTOR, "#results li.type")
        check(types, "no rental type was shown")
        first = types[0].find_element(By.CSS_SELECTOR, ".board")
        kind = int(types[0].get_attribute("data-type"))
        board = int(first.get_attribute("data-board"))
        price = first.find_element(By.CSS_SELECTOR, ".price").text
        check(re.search(r"\d", price) and "kr" in price, "no price shown: %r" % price)
        check(types[0].find_element(By.TAG_NAME, "h3").text == "Hytte 4 senger",
              "the type's description was not shown")
        free_before = free_units(server, arrival, departure, kind, board)
        shot("02-results.png", by_id("results-section"))

        first.find_element(By.CSS_SELECTOR, "button.hold").click()
        wait.until(lambda d: by_id("hold-section").is_displayed() or message())
        check(not message(), "the hold failed: " + message())
        countdown = by_id("countdown").text
        check(re.search(r"\b1[45]:\d\d\b", countdown), "no countdown: %r" % countdown)
        check(free_units(server, arrival, departure, kind, board) == free_before - 1,
              "the hold took no unit")
        shot("03-hold.png", by_id("hold-section"))

        for field, value in [("firstName", "Kari"), ("surname", "Nordmann"),
                             ("address1", "Storgata 1"), ("postcode", "0150"),
                             ("place", "Oslo"), ("email", "kari@example.no")]:
            by_id(field).send_keys(value)
        shot("04-booker.png", by_id("booker-form"))
        by_id("book").click()
        wait.until(lambda d: by_id("booked-section").is_displayed() or message())
        check(not message(), "the booking failed: " + message())
        refnr = int(by_id("booked-refnr").text)
        code = by_id("booked-code").text
        check(re.fullmatch(r"[A-Za-z0-9_-]{20}", code), "no booking code shown: %r" % code)
        link = by_id("manage-link").get_attribute("href")
        check(link == "%s/#ref=%d&code=%s" % (server.base, refnr, code),
              "the manage link is %r" % link)
        wait.until(lambda d: by_id("booking").is_displayed() or message())
        check(not message(), "the look-up failed: " + message())
        check(by_id("booking-status").text == texts("statusBooked"), "the status is not booked")
        rows = driver.find_elements(By.CSS_SELECTOR, "#booking-lines tbody tr")
        status, _, booked = server.get("/api/v1/reservations/%d" % refnr, {"Booking-Code": code})
        check(status == 200 and len(rows) == len(booked["lines"]) > 0,
              "the page shows %d lines of booking %d, the API %s" % (len(rows), refnr, booked))
        day, month, year = arrival[8:], arrival[5:7], arrival[:4]
        check("%s.%s.%s" % (day, month, year) in rows[0].text, "the arrival is not shown")
        shot("05-booked.png", by_id("booked-section"))

        logs = [e for e in driver.get_log("browser") if e["level"] == "SEVERE"]
        check(not logs, "the browser reported errors: %s" % logs)

        # The manage link in a fresh page: the booking opens, and its code leaves the address.
        driver.get("about:blank")
        driver.get(link)
        wait.until(lambda d: by_id("booking").is_displayed() or message())
        check(not message(), "the manage link's look-up failed: " + message())
        check(by_id("booking-status").text == texts("statusBooked"),
              "the manage link did not show the booking as booked")
        check(driver.execute_script("return location.href;") == server.base + "/",
              "the code stayed in the address: %s" % driver.current_url)
        shot("06-manage.png", by_id("booking"))

        by_id("cancel").click()
        by_id("cancel-yes").click()
        wait.until(lambda d: by_id("booking-status").text == texts("statusCancelled"))
        check(message() == texts_call(driver, "cancelled", refnr),
              "no cancellation was told: %r" % message())
        check(by_id("booking-lines").is_displayed() and not by_id("cancel").is_displayed(),
              "a cancelled booking lost its lines or can be cancelled again")
        check(free_units(server, arrival, departure, kind, board) == free_before,
              "the cancellation gave no unit back")
        shot("07-cancelled.png", by_id("booking"))

        # A wrong code is told as a booking not found, never as one that is there.
        by_id("code").clear()
        by_id("code").send_keys("A" * 20)
        by_id("lookup").click()
        wait.until(lambda d: message() and not by_id("booking").is_displayed())
        check(message() == texts_call(driver, "notFound", refnr),
              "a wrong code was not told as not found: %r" % message())
        shot("08-not-found.png", by_id("message"))

        # A hold of two seconds, which the page must tell has run out.
        driver.get(server.base + "/?hold=2")
        wait.until(lambda d: d.title)
        search()
        driver.find_element(By.CSS_SELECTOR, "#results button.hold").click()
        wait.until(lambda d: by_id("hold-section").is_displayed() or message())
        check(not message(), "the short hold failed: " + message())
        WebDriverWait(driver, 6).until(
            lambda d: by_id("countdown").text == texts("holdExpired"))
        check(not by_id("book").is_enabled(), "a run-out hold can still be booked")
        shot("09-expired.png", by_id("hold-section"))
        deadline = time.monotonic() + 5
        while free_units(server, arrival, departure, kind, board) != free_before:
            check(time.monotonic() < deadline, "the run-out hold was not given back")
            time.sleep(0.1)

        # The server gone: the page's own sentence.
        server.stop()
        by_id("search").click()
        wait.until(lambda d: message())
        check(message() == texts("networkError"),
              "a lost server was not told: %r" % message())
        shot("10-no-server.png", by_id("message"))
    finally:
        driver.quit()


def texts_call(driver, name, *arguments):
    return driver.execute_script(
        "return TEXTS[arguments[0]](...arguments[1]);", name, list(arguments))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--api", required=True)
    parser.add_argument("--db", required=True)
    parser.add_argument("--screenshots", default="screenshots")
    args = parser.parse_args()
    if find_browser() is None:
        print("SKIPPED: chromium and chromedriver are not installed")
        return SKIP
    os.makedirs(args.screenshots, exist_ok=True)
    server = Server(args.api, args.db)
    try:
        run(server, args.screenshots)
    except Failure as failure:
        print("FAILED:", failure)
        return 1
    finally:
        server.stop()
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
