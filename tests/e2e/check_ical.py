"""Checks an exported calendar feed the way a platform's reader would take it.

Usage: check_ical.py FEED SUMMARY FIRST DEPARTURE
FEED is the file of the feed's bytes; the feed must hold an all-day event of SUMMARY from
FIRST to DEPARTURE (yyyymmdd, departure excluded). Exits non-zero with the fault on stderr.
"""

import datetime
import sys

import icalendar


def fail(text):
    sys.exit("check_ical: " + text)


def main():
    path, summary, first, departure = sys.argv[1:5]
    raw = open(path, "rb").read()

    # RFC 5545: CRLF line ends, lines of at most 75 octets, folds never inside a character.
    if not raw.endswith(b"\r\n") or b"\n" in raw.replace(b"\r\n", b""):
        fail("a line does not end in CRLF")
    lines = raw.split(b"\r\n")[:-1]
    for line in lines:
        if len(line) > 75:
            fail("a line of %d octets: %r" % (len(line), line))
        line.decode("utf-8")
    if not any(line.startswith(b" ") for line in lines):
        fail("the long summary was not folded")

    calendar = icalendar.Calendar.from_ical(raw.decode("utf-8"))
    if str(calendar.get("VERSION")) != "2.0" or not calendar.get("PRODID"):
        fail("VERSION or PRODID missing")
    events = calendar.walk("VEVENT")
    if not events:
        fail("no event")
    uids = set()
    wanted = (datetime.datetime.strptime(first, "%Y%m%d").date(),
              datetime.datetime.strptime(departure, "%Y%m%d").date())
    found = False
    for event in events:
        start, end = event.decoded("DTSTART"), event.decoded("DTEND")
        if isinstance(start, datetime.datetime) or isinstance(end, datetime.datetime):
            fail("an event that is not all-day: %s" % event.get("UID"))
        if not start < end:
            fail("an event that ends before it starts: %s" % event.get("UID"))
        if str(event.get("SUMMARY")) != summary:
            fail("summary %r" % str(event.get("SUMMARY")))
        if not isinstance(event.decoded("DTSTAMP"), datetime.datetime):
            fail("DTSTAMP is no date-time")
        uid = str(event.get("UID"))
        if uid in uids:
            fail("UID twice: " + uid)
        uids.add(uid)
        found = found or (start, end) == wanted
    if not found:
        fail("no event from %s to %s" % wanted)


main()
