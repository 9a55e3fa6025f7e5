// The stay calendar: a month of a facility's nights, each shown as free (some rental type has
// a free unit that night), full or past, from which the guest picks an arrival on a free
// night and then a departure that some one rental type is free up to. Works with a mouse, a
// finger and the keyboard alone (a grid of days: arrows, Home/End, Page Up/Down, Enter or
// Space), and tells a screen reader what each day is and what was picked.
"use strict";

// Dates travel as ISO texts (yyyy-mm-dd), which sort as they fall; arithmetic is done at
// local noon so that a change to or from summer time never moves a day.
const Days = {
  parse(iso) {
    const [y, m, d] = iso.split("-").map(Number);
    return new Date(y, m - 1, d, 12);
  },
  iso(date) {
    const pad = (n) => String(n).padStart(2, "0");
    return `${date.getFullYear()}-${pad(date.getMonth() + 1)}-${pad(date.getDate())}`;
  },
  add(iso, days) {
    const date = Days.parse(iso);
    date.setDate(date.getDate() + days);
    return Days.iso(date);
  },
  today() {
    return Days.iso(new Date());
  },
  between(from, to) {
    return Math.round((Days.parse(to) - Days.parse(from)) / 86400000);
  },
  // Months are counted from year 0 so that a month's neighbours are plain numbers.
  month(iso) {
    const [y, m] = iso.split("-").map(Number);
    return y * 12 + m - 1;
  },
  firstOf(month) {
    return Days.iso(new Date(Math.floor(month / 12), month % 12, 1, 12));
  },
  lastOf(month) {
    return Days.add(Days.firstOf(month + 1), -1);
  },
};

function setText(node, text) {
  if (node.textContent !== text) node.textContent = text;
}

class StayCalendar {
  // options: text(key, ...args) for the page's words, locale() for its dates, monthsAhead,
  // onChange() after a pick, onError(failure) when a month could not be read.
  constructor(root, options) {
    this.root = root;
    this.options = options;
    this.load = null; // (from, to) => Promise of the matrix's days
    this.nights = new Map(); // date => Map(type => free units)
    this.months = new Map(); // month => "loading" | "loaded"
    this.generation = 0;
    this.arrival = null;
    this.departure = null;
    this.note = null; // {key, day}: why the last day tried could not be picked
    this.focusDay = Days.today();
    this.shown = Days.month(this.focusDay);
    this.build();
  }

  build() {
    const make = (tag, props = {}) => Object.assign(document.createElement(tag), props);
    this.previous = make("button", { type: "button", className: "month-step", id: "cal-prev" });
    this.next = make("button", { type: "button", className: "month-step", id: "cal-next" });
    this.heading = make("h3", { id: "cal-month", className: "month" });
    this.heading.setAttribute("aria-live", "polite");
    const head = make("div", { className: "calendar-head" });
    head.append(this.previous, this.heading, this.next);
    this.help = make("p", { id: "cal-help", className: "muted small" });
    this.grid = make("table", { id: "calendar-grid", className: "month-grid" });
    this.grid.setAttribute("role", "grid");
    this.grid.setAttribute("aria-labelledby", "cal-month");
    this.grid.setAttribute("aria-describedby", "cal-help");
    this.legend = make("ul", { className: "legend" });
    this.status = make("p", { id: "cal-status", className: "calendar-status" });
    this.status.setAttribute("aria-live", "polite");
    this.root.replaceChildren(head, this.help, this.grid, this.legend, this.status);

    this.previous.addEventListener("click", () => this.showMonth(this.shown - 1));
    this.next.addEventListener("click", () => this.showMonth(this.shown + 1));
    this.grid.addEventListener("click", (event) => {
      const cell = event.target.closest("td[data-day]");
      if (cell) this.pick(cell.dataset.day);
    });
    this.grid.addEventListener("keydown", (event) => this.key(event));
  }

  // A new facility (or the same one read afresh): what was known of its nights goes.
  reset(load) {
    this.load = load;
    this.generation += 1;
    this.nights = new Map();
    this.months = new Map();
    this.render();
    this.fetch();
  }

  // The nights may have changed (a search found less than the calendar showed).
  refresh() {
    if (this.load) this.reset(this.load);
  }

  clear() {
    this.arrival = null;
    this.departure = null;
    this.note = null;
    this.render();
  }

  firstMonth() {
    return Days.month(Days.today());
  }

  lastMonth() {
    return this.firstMonth() + this.options.monthsAhead;
  }

  showMonth(month, focus = false) {
    month = Math.min(Math.max(month, this.firstMonth()), this.lastMonth());
    if (Days.month(this.focusDay) !== month) {
      // Keep the day of the month where the new month has it.
      const day = Number(this.focusDay.slice(8));
      const last = Number(Days.lastOf(month).slice(8));
      this.focusDay = Days.add(Days.firstOf(month), Math.min(day, last) - 1);
    }
    this.shown = month;
    this.render();
    this.fetch();
    if (focus) this.focusCell();
  }

  // Reads the shown month and the next one, in one request, where not read yet.
  fetch() {
    if (!this.load) return;
    const wanted = [this.shown, this.shown + 1].filter(
      (month) => month <= this.lastMonth() + 1 && !this.months.has(month));
    if (wanted.length === 0) return;
    const today = Days.today();
    let from = Days.firstOf(wanted[0]);
    if (from < today) from = today;
    const to = Days.lastOf(wanted[wanted.length - 1]);
    const generation = this.generation;
    for (const month of wanted) this.months.set(month, "loading");
    this.load(from, to).then((days) => {
      if (generation !== this.generation) return;
      // A day the answer does not name has nothing free.
      for (let day = from; day <= to; day = Days.add(day, 1)) this.nights.set(day, new Map());
      for (const row of days) {
        const night = this.nights.get(row.date);
        if (night && Number.isInteger(row.type) && Number.isInteger(row.free)) {
          night.set(row.type, row.free);
        }
      }
      for (const month of wanted) this.months.set(month, "loaded");
      this.render();
    }, (failure) => {
      if (generation !== this.generation) return;
      for (const month of wanted) this.months.delete(month);
      this.render();
      this.options.onError(failure);
    });
  }

  state(day) {
    if (day < Days.today()) return "past";
    const night = this.nights.get(day);
    if (!night) return "unknown";
    for (const free of night.values()) if (free > 0) return "free";
    return "full";
  }

  // The last day a stay from the arrival may end on: as far as one rental type stays free.
  lastDeparture(arrival) {
    let longest = 0;
    for (const [type, free] of this.nights.get(arrival) || []) {
      if (!(free > 0)) continue;
      let nights = 0;
      for (let day = arrival; (this.nights.get(day)?.get(type) ?? 0) > 0;
           day = Days.add(day, 1)) nights += 1;
      longest = Math.max(longest, nights);
    }
    return Days.add(arrival, longest);
  }

  choosingDeparture() {
    return this.arrival !== null && this.departure === null;
  }

  canDepart(day) {
    return this.choosingDeparture() && day > this.arrival &&
           day <= this.lastDeparture(this.arrival);
  }

  pickable(day) {
    return this.canDepart(day) || this.state(day) === "free";
  }

  pick(day) {
    this.focusDay = day;
    this.note = null;
    const state = this.state(day);
    if (this.canDepart(day)) {
      this.departure = day;
    } else if (state === "free") {
      this.arrival = day;
      this.departure = null;
    } else if (this.choosingDeparture() && day > this.arrival && state !== "past") {
      this.note = { key: "departTooLate", day };
    } else {
      this.note = { key: { past: "nightPast", full: "nightFull" }[state] || "nightUnknown", day };
    }
    this.render();
    this.focusCell();
    if (this.note === null) this.options.onChange();
  }

  key(event) {
    const cell = event.target.closest("td[data-day]");
    if (!cell) return;
    const day = cell.dataset.day;
    const weekday = (Days.parse(day).getDay() + 6) % 7; // Monday first
    const months = event.shiftKey ? 12 : 1;
    const moves = {
      ArrowLeft: () => Days.add(day, -1),
      ArrowRight: () => Days.add(day, 1),
      ArrowUp: () => Days.add(day, -7),
      ArrowDown: () => Days.add(day, 7),
      Home: () => Days.add(day, -weekday),
      End: () => Days.add(day, 6 - weekday),
      PageUp: () => this.sameDayIn(day, -months),
      PageDown: () => this.sameDayIn(day, months),
    };
    if (event.key === "Enter" || event.key === " ") {
      event.preventDefault();
      this.pick(day);
      return;
    }
    if (!moves[event.key]) return;
    event.preventDefault();
    let target = moves[event.key]();
    const first = Days.firstOf(this.firstMonth());
    const last = Days.lastOf(this.lastMonth());
    if (target < first) target = first;
    if (target > last) target = last;
    this.focusDay = target;
    const month = Days.month(target);
    if (month !== this.shown) {
      this.shown = month;
      this.fetch();
    }
    this.render();
    this.focusCell();
  }

  sameDayIn(day, months) {
    const month = Days.month(day) + months;
    const last = Number(Days.lastOf(month).slice(8));
    return Days.add(Days.firstOf(month), Math.min(Number(day.slice(8)), last) - 1);
  }

  focusCell() {
    const cell = this.grid.querySelector("td[tabindex='0']");
    if (cell) cell.focus();
  }

  dayText(day) {
    return new Intl.DateTimeFormat(this.options.locale(),
        { weekday: "long", day: "numeric", month: "long" }).format(Days.parse(day));
  }

  render() {
    const text = this.options.text;
    const locale = this.options.locale();
    const hadFocus = this.grid.contains(document.activeElement);
    if (Days.month(this.focusDay) !== this.shown) this.focusDay = Days.firstOf(this.shown);
    if (this.focusDay < Days.today() && this.shown === this.firstMonth()) {
      this.focusDay = Days.today();
    }

    // An arrow to the eye, the words to a screen reader.
    for (const [button, arrow, key] of [[this.previous, "‹", "previousMonth"],
                                        [this.next, "›", "nextMonth"]]) {
      const shape = document.createElement("span");
      shape.setAttribute("aria-hidden", "true");
      shape.textContent = arrow;
      const words = document.createElement("span");
      words.className = "visually-hidden";
      words.textContent = text(key);
      button.replaceChildren(shape, words);
    }
    this.previous.disabled = this.shown <= this.firstMonth();
    this.next.disabled = this.shown >= this.lastMonth();
    const first = Days.firstOf(this.shown);
    // Both are live: a text is set only when it changes, so nothing is said twice.
    setText(this.heading, new Intl.DateTimeFormat(locale, { month: "long", year: "numeric" })
        .format(Days.parse(first)));
    this.help.textContent = text("calendarHelp");

    // The week's days, Monday first, short on the screen and whole to a screen reader.
    const head = document.createElement("tr");
    const monday = Days.add(first, -((Days.parse(first).getDay() + 6) % 7));
    for (let i = 0; i < 7; i += 1) {
      const date = Days.parse(Days.add(monday, i));
      const th = document.createElement("th");
      th.scope = "col";
      th.abbr = new Intl.DateTimeFormat(locale, { weekday: "long" }).format(date);
      th.textContent = new Intl.DateTimeFormat(locale, { weekday: "short" }).format(date);
      head.append(th);
    }
    const thead = document.createElement("thead");
    thead.append(head);
    const tbody = document.createElement("tbody");
    const last = Days.lastOf(this.shown);
    const long = new Intl.DateTimeFormat(locale,
        { weekday: "long", day: "numeric", month: "long", year: "numeric" });
    const today = Days.today();
    for (let week = monday; week <= last; week = Days.add(week, 7)) {
      const row = document.createElement("tr");
      for (let i = 0; i < 7; i += 1) {
        const day = Days.add(week, i);
        const cell = document.createElement("td");
        if (day >= first && day <= last) this.dayCell(cell, day, long, today);
        row.append(cell);
      }
      tbody.append(row);
    }
    this.grid.replaceChildren(thead, tbody);

    this.legend.replaceChildren();
    for (const [kind, key] of [["free", "legendFree"], ["full", "legendFull"],
                               ["chosen", "legendChosen"]]) {
      const item = document.createElement("li");
      const swatch = document.createElement("span");
      swatch.className = `swatch ${kind}`;
      swatch.setAttribute("aria-hidden", "true");
      item.append(swatch, text(key));
      this.legend.append(item);
    }

    setText(this.status, this.statusText());
    if (hadFocus) this.focusCell();
  }

  // What the calendar says of the pick, worded afresh at each drawing (a language switch).
  statusText() {
    const text = this.options.text;
    if (this.note) return text(this.note.key, this.dayText(this.note.day));
    if (this.departure) {
      return text("picked", this.dayText(this.arrival), this.dayText(this.departure),
                  Days.between(this.arrival, this.departure));
    }
    if (this.arrival) return text("pickDeparture", this.dayText(this.arrival));
    return text("pickArrival");
  }

  dayCell(cell, day, long, today) {
    const text = this.options.text;
    const state = this.state(day);
    const chosen = day === this.arrival || day === this.departure;
    const inStay = this.arrival && this.departure && day > this.arrival && day < this.departure;
    const departs = this.canDepart(day);
    cell.dataset.day = day;
    cell.className = [state, chosen ? "chosen" : "", inStay ? "in-stay" : "",
                      departs ? "can-depart" : ""].filter(Boolean).join(" ");
    cell.tabIndex = day === this.focusDay ? 0 : -1;
    cell.setAttribute("aria-selected", String(Boolean(chosen || inStay)));
    if (!this.pickable(day)) cell.setAttribute("aria-disabled", "true");
    if (day === today) cell.setAttribute("aria-current", "date");
    const words = [long.format(Days.parse(day)),
                   text({ free: "dayFree", full: "dayFull", past: "dayPast",
                          unknown: "dayUnknown" }[state])];
    if (day === this.arrival) words.push(text("dayArrival"));
    if (day === this.departure) words.push(text("dayDeparture"));
    if (inStay) words.push(text("dayInStay"));
    cell.setAttribute("aria-label", words.join(", "));
    const number = document.createElement("span");
    number.className = "number";
    number.setAttribute("aria-hidden", "true");
    number.textContent = String(Number(day.slice(8)));
    cell.append(number);
  }
}
