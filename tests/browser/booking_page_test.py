#!/usr/bin/env python3
"""The booking page end to end in headless Chromium, against the built server on a fresh
demo database, once at a phone's width (Norwegian, dates picked by touch) and once at a
desktop's (English from the browser's languages, dates picked by keyboard alone). Each flow
chooses a facility by name, meets a search with nothing free, a rental type without a price,
holds, is told what is wrong in the booker's form, books, opens the manage link, cancels,
looks up the cancelled booking and switches language on the way; the desktop flow then lets
a hold run out and loses the server. axe-core checks every step and must find nothing; its
result and a screenshot of each step go to the --screenshots folder. Exits 77 (skipped) only
when Chromium or its driver is not installed; a missing axe-core fails."""

import argparse
import calendar
import datetime
import email
import email.policy
import json
import os
import re
import shutil
import socket
import sqlite3
import subprocess
import sys
import tempfile
import threading
import time
import urllib.error
import urllib.request

SKIP = 77
# The guest-facing refusals that every language file must put in words.
GUEST_CODES = ["invalid_stay", "span_too_long", "invalid_email", "invalid_field",
               "missing_field", "guest_limit", "too_many_requests", "too_many_holds",
               "too_many_bookings", "not_found", "already_booked", "cancelled",
               "already_cancelled", "idempotency_key_reused", "unavailable", "-1001", "-2065",
               "-xxxx", "invalid_token", "not_awaiting"]
AXE_TAGS = ["wcag2a", "wcag2aa", "wcag21a", "wcag21aa", "best-practice"]


def find_browser():
    browser = shutil.which("chromium") or shutil.which("chromium-browser")
    driver = shutil.which("chromedriver")
    return (browser, driver) if browser and driver else None


class Failure(AssertionError):
    pass


def check(condition, what):
    if not condition:
        raise Failure(what)


class Server:
    """taurelin-api on a fresh demo SQLite database, line protocol and HTTP on free ports,
    with a manage key for the test's own moves. The 6-bed cabins (type 2) lose their web
    prices, so that Fjellheim offers one type without a price."""

    def __init__(self, api, db, confirm=False):
        self.dir = tempfile.TemporaryDirectory(prefix="booking-page-")
        root = self.dir.name
        aliases = os.path.join(root, "aliases.ini")
        database = os.path.join(root, "demo.db")
        with open(aliases, "w", encoding="utf-8") as out:
            out.write("[test]\ndriver=QSQLITE\ndatabase=%s\n" % database)
        subprocess.run([db, "--aliases", aliases, "init", "test", "--demo"], check=True,
                       stdout=subprocess.DEVNULL, timeout=60)
        with sqlite3.connect(database) as connection:
            connection.execute("DELETE FROM PRISLINJE WHERE PRIS_ID IN (201, 202, 203)")
        # The page's public address must be known before start: the guests' mails link to it.
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            http_port = probe.getsockname()[1]
        self.mail = os.path.join(root, "mail")
        config = os.path.join(root, "taurelin.conf")
        with open(config, "w", encoding="utf-8") as out:
            out.write("[Software]\n"
                      "Vindrelok\\Taurelin\\API\\Port=0\n"
                      "Vindrelok\\Taurelin\\API\\IPAddress=127.0.0.1\n"
                      "Vindrelok\\Taurelin\\API\\DatabaseAlias=test\n"
                      "Vindrelok\\Taurelin\\API\\HttpPublicUrl=http://127.0.0.1:%d\n"
                      "Vindrelok\\Taurelin\\API\\HttpApiKeys=%s\n"
                      % (http_port, os.path.join(root, "keys")))
            if confirm:
                out.write("Vindrelok\\Taurelin\\API\\GuestConfirmByMail=true\n")
        self.key = subprocess.run(
            [api, "--config", config, "--new-api-key", "test", "--scopes", "manage"],
            check=True, capture_output=True, text=True, timeout=30).stdout.strip()
        self.process = subprocess.Popen(
            [api, "--headless", "--config", config, "--aliases", aliases,
             "--http", str(http_port)],
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

    def call(self, method, path, body=None, headers=None):
        """Status, content type and JSON (or None) of a request."""
        data = json.dumps(body).encode() if body is not None else None
        request = urllib.request.Request(self.base + path, data=data, method=method,
                                         headers=dict(headers or {}))
        if data is not None:
            request.add_header("Content-Type", "application/json")
        try:
            with urllib.request.urlopen(request, timeout=10) as answer:
                raw, status = answer.read(), answer.status
                kind = answer.headers.get("Content-Type", "")
        except urllib.error.HTTPError as error:
            raw, status, kind = error.read(), error.code, error.headers.get("Content-Type", "")
        try:
            return status, kind, json.loads(raw)
        except ValueError:
            return status, kind, None

    def get(self, path, headers=None):
        return self.call("GET", path, headers=headers)

    def mail_to(self, address, refnr, timeout=20):
        """The mail about booking `refnr` (in its subject, or its link) that arrived for
        `address` in the pickup folder: its subject and its text part."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for name in sorted(os.listdir(self.mail)) if os.path.isdir(self.mail) else []:
                with open(os.path.join(self.mail, name), "rb") as source:
                    message = email.message_from_binary_file(source,
                                                             policy=email.policy.default)
                text = message.get_body(("plain",)).get_content()
                if address in str(message["to"]) and (str(refnr) in message["subject"]
                                                      or "=%d&" % refnr in text):
                    return message["subject"], text
            time.sleep(0.2)
        raise Failure("no mail about booking %d arrived for %s" % (refnr, address))

    def managed(self, method, path, body=None):
        return self.call(method, path, body, {"Authorization": "Bearer " + self.key})

    def free(self, facility, arrival, departure):
        """Free units by (type, board) of a stay."""
        status, _, data = self.get("/api/v1/availability?facility=%d&arrival=%s&departure=%s"
                                   % (facility, arrival, departure))
        check(status == 200, "availability answered %d" % status)
        return {(row["type"], row["board"]): row for row in data["availability"]}

    def fill(self, facility, arrival, departure):
        """Holds every free unit of the facility for the stay; the reference numbers."""
        taken = {}
        for (kind, board), row in self.free(facility, arrival, departure).items():
            if row["price"] is not None and row["free"] > 0:
                taken[kind] = (board, min(row["free"], taken.get(kind, (0, 1 << 30))[1]))
        refnrs = []
        for kind, (board, units) in taken.items():
            status, _, data = self.managed("POST", "/api/v1/reservations", {
                "facility": facility, "type": kind, "arrival": arrival, "departure": departure,
                "board": board, "units": units, "persons": 1, "agent": 1, "timeout": 900})
            check(status == 201, "filling type %d answered %d %s" % (kind, status, data))
            refnrs.append(data["refnr"])
        return refnrs


def month_day(months, day):
    """The day of the month `months` after this one, as ISO text."""
    today = datetime.date.today()
    total = today.year * 12 + today.month - 1 + months
    return datetime.date(total // 12, total % 12 + 1, day).isoformat()


class Flow:
    """One guest's visit at one width, a step at a time, each step checked by axe-core."""

    def __init__(self, server, folder, axe, name, size, mobile, languages):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        from selenium.webdriver.common.by import By
        from selenium.webdriver.common.keys import Keys
        from selenium.common.exceptions import StaleElementReferenceException
        from selenium.webdriver.common.action_chains import ActionChains
        from selenium.webdriver.support.ui import Select, WebDriverWait

        self.By, self.Keys, self.Select, self.ActionChains = By, Keys, Select, ActionChains
        self.server, self.folder, self.axe_source, self.name = server, folder, axe, name
        self.step = 0
        options = webdriver.ChromeOptions()
        for argument in ["--headless=new", "--no-sandbox", "--disable-dev-shm-usage",
                         "--window-size=%d,%d" % size]:
            options.add_argument(argument)
        options.add_experimental_option("prefs", {"intl.accept_languages": languages})
        options.binary_location = find_browser()[0]
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        self.driver = webdriver.Chrome(service=Service(find_browser()[1]), options=options)
        self.size, self.mobile = size, mobile
        self.metrics(*size)
        self.driver.set_script_timeout(30)
        # The calendar draws its days afresh as its nights arrive: a day found a moment ago
        # may be gone, and is found again.
        self.wait = WebDriverWait(self.driver, 10,
                                  ignored_exceptions=(StaleElementReferenceException,))

    def metrics(self, width, height):
        """The viewport itself, as a phone or a desktop screen has it."""
        self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": width, "height": height, "deviceScaleFactor": 1, "mobile": self.mobile})

    def quit(self):
        self.driver.quit()

    # --- helpers ---

    def by_id(self, name):
        return self.driver.find_element(self.By.ID, name)

    def js(self, script, *arguments):
        return self.driver.execute_script(script, *arguments)

    def t(self, key, *arguments):
        """The page's own text in the language it shows."""
        return self.js("return t(arguments[0], ...arguments[1]);", key, list(arguments))

    def focused(self):
        return self.js("return document.activeElement && document.activeElement.id;")

    def shown(self, name):
        return self.by_id(name).is_displayed()

    def message(self, area):
        box = self.by_id(area + "-message")
        return box.text if box.is_displayed() else ""

    def open(self, path="/"):
        self.driver.get("about:blank")
        self.driver.get(self.server.base + path)
        self.wait.until(lambda d: d.title and self.js(
            "return document.querySelectorAll('#calendar-grid td.free').length > 0;"))

    def visible_step(self, name, element=None):
        """Screenshot and axe-core result of the page as it stands, with no violation."""
        self.step += 1
        stem = "%s-%02d-%s" % (self.name, self.step, name)
        if element is not None:
            self.js("arguments[0].scrollIntoView({block: 'start'})", element)
        check(self.js("return document.documentElement.scrollWidth <= window.innerWidth;"),
              "%s: the page is wider than the screen" % stem)
        if self.mobile:
            # The narrowest phone, or a wider screen zoomed to 400 %, loses nothing either.
            self.metrics(320, 844)
            narrow = self.js("return document.documentElement.scrollWidth <= window.innerWidth;")
            self.metrics(*self.size)
            check(narrow, "%s: the page is wider than 320 px" % stem)
        self.driver.save_screenshot(os.path.join(self.folder, stem + ".png"))
        if not self.js("return typeof axe === 'object';"):
            self.js(self.axe_source)
        result = json.loads(self.driver.execute_async_script(
            "const done = arguments[arguments.length - 1];"
            "axe.run(document, {runOnly: {type: 'tag', values: arguments[0]},"
            "                   resultTypes: ['violations']})"
            "  .then((r) => done(JSON.stringify(r)),"
            "        (e) => done(JSON.stringify({error: String(e)})));",
            AXE_TAGS))
        with open(os.path.join(self.folder, stem + ".axe.json"), "w", encoding="utf-8") as out:
            json.dump(result, out, indent=1)
        check("error" not in result, "%s: axe-core failed: %s" % (stem, result.get("error")))
        found = ["%s %s" % (v["id"], [n["target"] for n in v["nodes"]])
                 for v in result["violations"]]
        check(not found, "%s: axe-core found %s" % (stem, "; ".join(found)))
        print("%s: axe-core %d rules passed, no violations" % (stem, len(result["passes"])))

    def day_says(self, iso, what):
        return self.js("const day = document.querySelector(`td[data-day='${arguments[0]}']`);"
                       "return day ? day[arguments[1]] : '';", iso, what)

    def tap_day(self, iso):
        self.wait.until(lambda d: d.find_element(
            self.By.CSS_SELECTOR, "td[data-day='%s']" % iso).click() or True)

    def keys(self, *keys):
        """Keys to whatever has the focus, as a guest without a mouse sends them."""
        self.ActionChains(self.driver).send_keys(*keys).perform()

    def focused_day(self):
        return self.js("return document.activeElement.dataset.day || null;")

    def focused_day_class(self):
        return self.js("return document.activeElement.dataset.day ? "
                       "document.activeElement.className : '';")

    def show_month_of(self, iso):
        """Steps the calendar by its buttons to the month of the day, and waits for its nights."""
        for _ in range(30):
            if self.driver.find_elements(self.By.CSS_SELECTOR, "td[data-day='%s']" % iso):
                break
            later = iso > self.js("return document.querySelector('td[data-day]').dataset.day;")
            self.by_id("cal-next" if later else "cal-prev").click()
        else:
            raise Failure("the calendar never showed %s" % iso)
        self.wait.until(lambda d: "unknown" not in self.day_says(iso, "className"))

    def tap_stay(self, arrival, departure):
        self.show_month_of(arrival)
        self.tap_day(arrival)
        self.show_month_of(departure)
        self.tap_day(departure)
        check(self.js("return [calendar.arrival, calendar.departure];") == [arrival, departure],
              "the calendar did not take %s - %s" % (arrival, departure))

    def choose_facility(self, name):
        self.Select(self.by_id("facility")).select_by_visible_text(name)
        self.wait.until(lambda d: self.js(
            "return document.querySelectorAll('#calendar-grid td.free').length > 0;"))

    def search(self):
        self.by_id("search").click()
        self.wait.until(lambda d: self.shown("results-section") or self.message("search"))
        check(not self.message("search"), "the search failed: " + self.message("search"))
        check(self.focused() == "results-heading", "the search left focus on %s" % self.focused())

    # --- the visit ---

    def layout_shift(self):
        """The layout shift of the page since it was opened, as the browser scores it."""
        return self.driver.execute_async_script(
            "const done = arguments[arguments.length - 1]; let sum = 0;"
            "new PerformanceObserver((list) => {"
            "  for (const shift of list.getEntries()) sum += shift.value;"
            "}).observe({type: 'layout-shift', buffered: true});"
            "setTimeout(() => done(sum), 100);")

    def visit(self, language, other):
        server = self.server
        self.open()
        check(self.js("return document.documentElement.lang;") == language,
              "the page did not choose %s from the browser's languages" % language)
        # The page came with its words and kept room for what its script draws.
        shift = self.layout_shift()
        check(shift <= 0.05, "the page moved as its script started: layout shift %.3f" % shift)
        check(self.js("return Object.keys(LANGUAGES);") == [language],
              "the page loaded other languages than its own")
        self.driver.execute_async_script(
            "const done = arguments[arguments.length - 1];"
            "loadLanguage(arguments[0]).then(() => done(), () => done());", other)
        names = [o.text for o in self.Select(self.by_id("facility")).options]
        _, _, data = server.get("/api/v1/facilities")
        check(names == [f["name"] for f in data["facilities"]],
              "the facilities offered are %s" % names)
        missing = self.js(
            "const [codes] = arguments;"
            "const wanted = [...Object.keys(TEXTS), ...codes.map((c) => 'errors.' + c)];"
            "return Object.values(LANGUAGES).flatMap((lang) => wanted.filter((key) =>"
            "  key.startsWith('errors.') ? !lang.errors[key.slice(7)] : !(key in lang))"
            "  .map((key) => lang.lang + ':' + key));", GUEST_CODES)
        check(not missing, "the language files lack %s" % missing)
        self.visible_step("search")

        # Nothing free: the nights are taken between the calendar's reading and the search.
        self.choose_facility("Bygdetunet Gjestehus")
        full_from, full_to = month_day(3, 10), month_day(3, 12)
        self.tap_stay(full_from, full_to)
        taken = server.fill(3, full_from, full_to)
        self.search()
        check(self.shown("none-free") and self.by_id("none-free").text == self.t("noneFree"),
              "a search with nothing free did not say so")
        self.wait.until(lambda d: "full" in self.day_says(full_from, "className"))
        check(self.day_says(full_from, "ariaDisabled") == "true",
              "a full night can still start a stay")
        self.tap_day(full_from)
        check(self.by_id("cal-status").text == self.js(
            "return t('nightFull', calendar.dayText(arguments[0]));", full_from),
              "a full night was not told as such: %r" % self.by_id("cal-status").text)
        self.visible_step("nothing-free", self.by_id("results-section"))
        for refnr in taken:
            server.managed("DELETE", "/api/v1/reservations/%d" % refnr)

        self.choose_facility("Fjellheim Hyttegrend")
        arrival, departure = self.pick_dates()
        self.visible_step("dates", self.by_id("calendar"))

        self.search()
        self.check_offers()
        self.visible_step("results", self.by_id("results-section"))

        # The other language and back: the page keeps its stay and its offers.
        self.switch(other)
        check(self.js("return [calendar.arrival, calendar.departure];") == [arrival, departure]
              and self.driver.find_elements(self.By.CSS_SELECTOR, "#results .no-price")[0].text
              == self.t("noPrice"), "the switch of language lost the page's state")
        self.visible_step("language-" + other, self.by_id("results-section"))
        self.switch(language)

        free_before = server.free(1, arrival, departure)[(1, 1)]["free"]
        self.hold_first()
        self.check_countdown()
        check(server.free(1, arrival, departure)[(1, 1)]["free"] == free_before - 1,
              "the hold took no unit")
        self.visible_step("hold", self.by_id("hold-section"))

        self.booker_errors()
        refnr, code, link = self.book(arrival)
        self.visible_step("booked", self.by_id("booked-section"))

        # The mail that arrived: in the page's language, with the code and the manage link,
        # which opens the booking in a fresh page; its code then leaves the address.
        subject, text = server.mail_to("kari@example.no", refnr)
        check(subject.startswith("Bekreftelse" if language == "nb" else "Booking"),
              "the guest's mail is not in the language booked in: %r" % subject)
        check(code in text and link in text, "the mail lacks the code or the link:\n" + text)
        self.driver.get("about:blank")
        self.driver.get(re.search(r"http://\S+#ref=\d+&code=\S+", text).group(0))
        self.wait.until(lambda d: self.shown("booking"))
        check(self.by_id("booking-status").text == self.t("statusBooked")
              and self.by_id("booking-lines").find_element(self.By.TAG_NAME, "h4").text
              == "Hytte 4 senger", "the manage link did not show the booking by name as booked")
        check(self.js("return location.href;") == server.base + "/",
              "the code stayed in the address: %s" % self.driver.current_url)
        check(self.focused() == "booking-heading", "the manage link left focus on %s"
              % self.focused())
        self.visible_step("manage", self.by_id("booking"))

        self.cancel(refnr)
        check(server.free(1, arrival, departure)[(1, 1)]["free"] == free_before,
              "the cancellation gave no unit back")
        self.visible_step("cancelled", self.by_id("booking"))

        # Looked up afresh by number and code, the booking is cancelled and stays so.
        self.open()
        self.by_id("refnr").send_keys(str(refnr))
        self.by_id("code").send_keys(code)
        self.by_id("lookup").click()
        self.wait.until(lambda d: self.shown("booking"))
        check(self.by_id("booking-status").text == self.t("statusCancelled")
              and not self.shown("cancel") and not self.shown("cancel-confirm"),
              "a cancelled booking looked up offers to cancel it")
        check(self.focused() == "booking-heading", "the look-up left focus on %s"
              % self.focused())
        self.visible_step("lookup-cancelled", self.by_id("booking"))

        # A wrong code is told as a booking not found, beside the number, never as one there.
        self.by_id("code").clear()
        self.by_id("code").send_keys("A" * 20)
        self.by_id("lookup").click()
        self.wait.until(lambda d: self.by_id("refnr").get_attribute("aria-invalid") == "true")
        check(self.by_id("refnr-error").text == self.t("notFound", refnr)
              and not self.shown("booking") and self.focused() == "refnr",
              "a wrong code was not told beside the number: %r" % self.by_id("refnr-error").text)
        self.visible_step("not-found", self.by_id("lookup-section"))

    def pick_dates(self):
        """Touch: the twentieth to the twenty-third of next month. Keyboard alone: from the
        persons field, Tab into the calendar, a month on, two weeks down, three nights."""
        if self.name == "phone":
            arrival, departure = month_day(1, 20), month_day(1, 23)
            self.tap_stay(arrival, departure)
            return arrival, departure
        keys = self.Keys
        self.by_id("persons").click()
        self.keys(keys.TAB)
        while self.js("return document.activeElement.tagName;") != "TD":
            self.keys(keys.TAB)
        start = datetime.date.fromisoformat(self.focused_day())
        self.keys(keys.PAGE_DOWN)
        self.wait.until(lambda d: "unknown" not in self.focused_day_class())
        self.keys(keys.HOME, keys.ARROW_DOWN, keys.ARROW_DOWN, keys.ARROW_RIGHT)
        # The same day next month, its week's Monday, two weeks on and a day.
        total = start.year * 12 + start.month
        last = calendar.monthrange(total // 12, total % 12 + 1)[1]
        moved = datetime.date(total // 12, total % 12 + 1, min(start.day, last))
        expected = moved - datetime.timedelta(moved.weekday()) + datetime.timedelta(15)
        arrival = self.focused_day()
        check(arrival == expected.isoformat(),
              "the keys went from %s to %s, not %s" % (start, arrival, expected))
        self.wait.until(lambda d: "free" in self.focused_day_class())
        self.keys(keys.ENTER)
        self.keys(keys.ARROW_RIGHT, keys.ARROW_RIGHT, keys.ARROW_RIGHT, keys.SPACE)
        departure = (expected + datetime.timedelta(3)).isoformat()
        picked = self.js("return [calendar.arrival, calendar.departure];")
        check(picked == [arrival, departure],
              "the keyboard picked %s, not %s - %s" % (picked, arrival, departure))
        self.keys(keys.TAB)
        check(self.focused() == "search", "Tab from the calendar went to %s" % self.focused())
        return arrival, departure

    def check_offers(self):
        types = self.driver.find_elements(self.By.CSS_SELECTOR, "#results li.type")
        check([int(t.get_attribute("data-type")) for t in types] == [1, 2],
              "the types offered are not the 4- and 6-bed cabins")
        check(types[0].find_element(self.By.TAG_NAME, "h3").text == "Hytte 4 senger",
              "the type's description was not shown")
        first = types[0].find_element(self.By.CSS_SELECTOR, ".board")
        price = first.find_element(self.By.CSS_SELECTOR, ".price").text
        check(re.search(r"\d", price), "no price shown: %r" % price)
        button = first.find_element(self.By.CSS_SELECTOR, "button.hold")
        name = self.t("hold") + " " + self.t("holdWhat", "Hytte 4 senger", self.js(
            "return boardName(1);"))
        check(button.accessible_name == name,
              "the hold button is named %r, not %r" % (button.accessible_name, name))
        unpriced = types[1]
        check(unpriced.find_element(self.By.CSS_SELECTOR, ".no-price").text == self.t("noPrice")
              and not unpriced.find_elements(self.By.CSS_SELECTOR, "button"),
              "a type without a price is offered")

    def switch(self, language):
        self.driver.find_element(self.By.CSS_SELECTOR,
                                 "#languages button[lang='%s']" % language).click()
        # A language not shown before has its file loaded first.
        self.wait.until(lambda d: self.js("return document.documentElement.lang;") == language)
        check(self.driver.title == self.t("title"), "the switch did not show %s" % language)

    def hold_first(self):
        self.driver.find_element(self.By.CSS_SELECTOR, "#results button.hold").click()
        self.wait.until(lambda d: self.shown("hold-section") or self.message("results"))
        check(not self.message("results"), "the hold failed: " + self.message("results"))
        check(self.focused() == "hold-heading", "the hold left focus on %s" % self.focused())

    def check_countdown(self):
        countdown = self.by_id("countdown").text
        check(re.search(r"\b1[45]:\d\d\b", countdown), "no countdown: %r" % countdown)
        # The time left is said at whole minutes and a few times in the last half minute.
        said = self.js("const said = [];"
                       "for (let left = 899; left >= 1; left -= 1) {"
                       "  const mark = markPassed(left + 1, left);"
                       "  if (mark && mark.seconds) said.push(mark.seconds + 's');"
                       "  else if (mark) said.push(mark.minutes + 'm');"
                       "}"
                       "return said;")
        check(said == ["%dm" % m for m in range(14, 0, -1)] + ["30s", "20s", "10s", "5s"],
              "the countdown is said at %s" % said)

    def booker_errors(self):
        by_id = self.by_id
        by_id("book").click()
        check(self.focused() == "surname", "an empty form left focus on %s" % self.focused())
        for field in ["surname", "postcode"]:
            element = by_id(field)
            check(element.get_attribute("aria-invalid") == "true"
                  and field + "-error" in element.get_attribute("aria-describedby")
                  and by_id(field + "-error").text == self.js(
                      "return t('fieldMissing', t(arguments[0]));", field),
                  "the empty %s was not marked" % field)
        check(self.js("const r = document.getElementById('surname-error').getBoundingClientRect();"
                      "return r.top >= 0 && r.bottom <= window.innerHeight;"),
              "the error beside the surname is out of sight")
        check(all(by_id(f).get_attribute("required") == "true"
                  for f in ["surname", "postcode", "nation"]), "a required field is not marked")
        for field, value in [("firstName", "Kari"), ("surname", "Nordmann"),
                             ("address1", "Storgata 1"), ("postcode", "0150"),
                             ("place", "Oslo"), ("email", "not an email")]:
            by_id(field).send_keys(value)
        by_id("book").click()
        check(self.focused() == "email" and by_id("email-error").text == self.t("emailInvalid")
              and by_id("surname").get_attribute("aria-invalid") is None,
              "a malformed address was not refused beside its field")
        # One the page lets through and the server refuses: its answer stands beside it too.
        by_id("email").clear()
        by_id("email").send_keys("kåri@example.no")
        by_id("book").click()
        self.wait.until(lambda d: by_id("email").get_attribute("aria-invalid") == "true")
        check(self.focused() == "email" and by_id("email-error").text == self.js(
            "return TEXTS.errors.invalid_email;"),
              "the server's refusal of the address was not shown beside it: %r"
              % by_id("email-error").text)
        self.visible_step("booker-errors", by_id("email"))
        by_id("email").clear()
        by_id("email").send_keys("kari@example.no")

    def book(self, arrival):
        self.by_id("book").click()
        self.wait.until(lambda d: self.shown("booked-section") or self.message("hold"))
        check(not self.message("hold"), "the booking failed: " + self.message("hold"))
        check(self.focused() == "booked-heading", "booking left focus on %s" % self.focused())
        refnr = int(self.by_id("booked-refnr").text)
        code = self.by_id("booked-code").text
        check(re.fullmatch(r"[A-Za-z0-9_-]{20}", code), "no booking code shown: %r" % code)
        self.wait.until(lambda d: self.by_id("announce").text)
        check(self.by_id("announce").text == self.t("bookedAnnounce", refnr),
              "the reference number was not announced: %r" % self.by_id("announce").text)
        link = self.by_id("manage-link").get_attribute("href")
        check(link == "%s/#ref=%d&code=%s" % (self.server.base, refnr, code),
              "the manage link is %r" % link)
        self.wait.until(lambda d: self.shown("booking"))
        check(self.by_id("booking-status").text == self.t("statusBooked"),
              "the status is not booked")
        lines = self.driver.find_elements(self.By.CSS_SELECTOR, "#booking-lines li")
        status, _, booked = self.server.get("/api/v1/reservations/%d" % refnr,
                                            {"Booking-Code": code})
        check(status == 200 and len(lines) == len(booked["lines"]) > 0,
              "the page shows %d lines of booking %d, the API %s" % (len(lines), refnr, booked))
        check(lines[0].find_element(self.By.TAG_NAME, "h4").text == "Hytte 4 senger"
              and self.js("return date(arguments[0]);", arrival) in lines[0].text,
              "the booking's line does not name its type and arrival: %r" % lines[0].text)
        logs = [e for e in self.driver.get_log("browser") if e["level"] == "SEVERE"
                and "/reservations/" not in e["message"]]
        check(not logs, "the browser reported errors: %s" % logs)
        return refnr, code, link

    def cancel(self, refnr):
        self.by_id("cancel").click()
        check(self.shown("cancel-confirm") and self.focused() == "cancel-keep",
              "the cancel question does not offer to keep the booking first")
        self.visible_step("cancel-question", self.by_id("booking"))
        self.by_id("cancel-keep").click()
        check(not self.shown("cancel-confirm") and self.focused() == "cancel",
              "keeping the booking did not put the question away")
        self.by_id("cancel").click()
        self.by_id("cancel-yes").click()
        self.wait.until(lambda d: self.by_id("booking-status").text == self.t("statusCancelled"))
        check(self.message("lookup") == self.t("cancelled", refnr),
              "no cancellation was told: %r" % self.message("lookup"))
        check(self.shown("booking-lines") and not self.shown("cancel"),
              "a cancelled booking lost its lines or can be cancelled again")
        self.wait.until(lambda d: self.focused() == "booking-heading")

    def confirm_by_mail(self):
        """With confirmation by mail: the booker leaves the booking held, the page says to
        look in the mail, and the link of the mail that arrived makes the booking, once."""
        server = self.server
        self.open()
        arrival, departure = month_day(2, 5), month_day(2, 7)
        self.tap_stay(arrival, departure)
        self.search()
        self.hold_first()
        for field, value in [("surname", "Nordmann"), ("postcode", "0150")]:
            self.by_id(field).send_keys(value)
        self.by_id("book").click()
        self.wait.until(lambda d: self.by_id("email").get_attribute("aria-invalid") == "true")
        check(self.focused() == "email"
              and self.by_id("email-error").text == self.t("emailRequired"),
              "a booker without an address was not sent back to it: %r"
              % self.by_id("email-error").text)
        self.by_id("email").send_keys("ola@example.no")
        self.by_id("book").click()
        self.wait.until(lambda d: self.message("lookup") and self.shown("booking"))
        check(self.message("lookup") == self.t("checkMail", "ola@example.no")
              and self.focused() == "lookup-message",
              "the page did not say to look in the mail: %r" % self.message("lookup"))
        check(self.js("return state.shown.answer.status;") == "awaiting_confirmation"
              and self.by_id("booking-status").text not in ("", self.t("statusBooked"))
              and not self.shown("hold-section"),
              "the waiting booking is shown as %r" % self.by_id("booking-status").text)
        self.visible_step("awaiting", self.by_id("lookup-section"))
        refnr = int(self.by_id("refnr").get_attribute("value"))
        _, text = server.mail_to("ola@example.no", refnr)
        link = re.search(r"http://\S+#confirm=\d+&code=\S+&token=\S+", text)
        check(link, "the mail has no link to finish the booking:\n" + text)
        for attempt in range(2):
            self.driver.get("about:blank")
            self.driver.get(link.group(0))
            self.wait.until(lambda d: self.message("lookup"))
            check(self.js("return location.href;") == server.base + "/",
                  "the token stayed in the address: %s" % self.driver.current_url)
            if attempt == 0:
                self.wait.until(lambda d: self.shown("booked-section"))
                check(self.message("lookup") == self.t("confirmed", refnr)
                      and self.by_id("booking-status").text == self.t("statusBooked"),
                      "the link did not make the booking: %r" % self.message("lookup"))
                self.visible_step("confirmed", self.by_id("booked-section"))
        check(self.message("lookup") == self.js("return TEXTS.errors.not_awaiting;"),
              "a used link was not told as such: %r" % self.message("lookup"))

    def run_out_and_lose_server(self):
        """A hold of two seconds, which the page must tell has run out; then no server."""
        server = self.server
        self.open("/?hold=2")
        arrival, departure = month_day(1, 5), month_day(1, 6)
        self.tap_stay(arrival, departure)
        free_before = server.free(1, arrival, departure)[(1, 1)]["free"]
        self.search()
        self.hold_first()
        self.wait.until(lambda d: self.by_id("countdown").text == self.t("holdExpired"))
        check(not self.by_id("book").is_enabled(), "a run-out hold can still be booked")
        self.wait.until(lambda d: self.by_id("announce").text == self.t("holdExpired"))
        self.visible_step("expired", self.by_id("hold-section"))
        deadline = time.monotonic() + 5
        while server.free(1, arrival, departure)[(1, 1)]["free"] != free_before:
            check(time.monotonic() < deadline, "the run-out hold was not given back")
            time.sleep(0.1)

        server.stop()
        self.by_id("search").click()
        self.wait.until(lambda d: self.message("search"))
        check(self.message("search") == self.t("networkError") and self.focused()
              == "search-message", "a lost server was not told: %r" % self.message("search"))
        self.visible_step("no-server", self.by_id("search-message"))

def check_served_words(server, flow):
    """The page as sent in each language holds that language's words, as its script says
    them, and the language buttons: nothing is left for the script to fill in."""
    for language, asked in [("nb", "nb-NO,nb;q=0.9"), ("en", "en-GB"), ("en", "de")]:
        request = urllib.request.Request(server.base + "/", headers={"Accept-Language": asked})
        with urllib.request.urlopen(request, timeout=10) as answer:
            html = answer.read().decode()
        check('<html lang="%s">' % language in html, "%s was not sent %s" % (asked, language))
        words = re.findall(r'data-text="(\w+)"[^>]*>([^<]*)<', html)
        expected = flow.driver.execute_async_script(
            "const [lang, keys, done] = arguments;"
            "loadLanguage(lang).then(() => done(keys.map((key) => LANGUAGES[lang][key])));",
            language, [key for key, _ in words])
        for (key, sent), text in zip(words, expected):
            check(sent == html_text(text), "%s: %s was sent as %r" % (language, key, sent))
        check(re.search(r'<button [^>]*lang="%s" aria-pressed="true"' % language, html),
              "%s: no language button is pressed" % language)
        check(html.count("/lang/") == 3, "%s: the page names more than its own language's"
              " file and the buttons" % language)


def html_text(text):
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;") \
        .replace('"', "&quot;")


def check_files(server):
    # The page's files, each with its type; any other path stays the API's JSON 404.
    for path, kind in [("/", "text/html"), ("/app.js", "text/javascript"),
                       ("/calendar.js", "text/javascript"), ("/lang/nb.js", "text/javascript"),
                       ("/lang/en.js", "text/javascript"), ("/style.css", "text/css")]:
        status, got, _ = server.get(path)
        check(status == 200 and got.startswith(kind), "%s: %d %s" % (path, status, got))
    status, kind, data = server.get("/no-such-file.js")
    check(status == 404 and kind.startswith("application/json") and "error" in data,
          "an unknown path answered %d %s" % (status, kind))


def run(server, screenshots, axe, args):
    check_files(server)
    phone = Flow(server, screenshots, axe, "phone", (390, 844), True, "nb-NO,nb")
    try:
        phone.visit("nb", "en")
        check_served_words(server, phone)
    finally:
        phone.quit()
    desktop = Flow(server, screenshots, axe, "desktop", (1280, 800), False, "en-GB,en")
    try:
        desktop.visit("en", "nb")
        confirming = Server(os.path.abspath(args.api), os.path.abspath(args.db), confirm=True)
        try:
            desktop.server = confirming
            desktop.confirm_by_mail()
        finally:
            desktop.server = server
            confirming.stop()
        desktop.run_out_and_lose_server()
    finally:
        desktop.quit()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--api", required=True)
    parser.add_argument("--db", required=True)
    parser.add_argument("--screenshots", default="screenshots")
    parser.add_argument("--axe", required=True, help="axe-core's axe.min.js")
    args = parser.parse_args()
    if find_browser() is None:
        print("SKIPPED: chromium and chromedriver are not installed")
        return SKIP
    if not os.path.isfile(args.axe):
        print("FAILED: axe-core is missing at %s (scripts/test fetches it)" % args.axe)
        return 1
    with open(args.axe, encoding="utf-8") as source:
        axe = source.read()
    os.makedirs(args.screenshots, exist_ok=True)
    started = time.monotonic()
    server = Server(os.path.abspath(args.api), os.path.abspath(args.db))
    try:
        run(server, args.screenshots, axe, args)
    except Failure as failure:
        print("FAILED:", failure)
        return 1
    finally:
        server.stop()
    print("passed in %.0f s" % (time.monotonic() - started))
    return 0


if __name__ == "__main__":
    sys.exit(main())
