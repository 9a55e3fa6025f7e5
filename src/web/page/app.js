// The reference booking page: choose a facility and a stay on the calendar, see the free
// rental types and their prices, hold one, book, look the booking up and cancel it, through
// the JSON API of the server that serves it. Everything shown is drawn from `state` in the
// guest's language, so a switch of language redraws the page as it stands. Server texts
// never reach the guest: an answer's error code picks a sentence of the language file, and
// values from the server are set through textContent only.
"use strict";

// What a business may adjust. The hold time may be shortened for a trial run with ?hold=S.
const SETTINGS = {
  agent: 1, // the web shop's own agent number
  holdSeconds: 900,
  units: 1,
  currency: "NOK",
  monthsAhead: 24, // how far ahead the calendar goes
};

// The page arrives with its words in the language the server chose from the browser's
// languages; only that language's file is loaded, another when the guest switches to it.
let TEXTS = null; // the language shown, one of LANGUAGES

const state = {
  facilities: [], // [{facility, name}]
  facilitiesKnown: false, // the facilities are read (until then their list keeps its place)
  facility: null,
  typeNames: new Map(), // rental type numbers are the same at every facility
  typesRead: new Map(), // facility => promise of its rental types read
  facilitiesRead: null, // promise of the facilities read at the start
  results: null, // {arrival, departure, persons, rows} of the last search
  hold: null, // the live hold: {refnr, code, deadline, lastLeft}
  held: null, // what the hold section shows: {row, price, arrival, departure, expired}
  timer: 0,
  booking: false, // a booker's details are on their way
  booked: null, // {refnr, code} just booked
  shown: null, // {refnr, code, answer} of the booking looked up
  confirming: false, // the cancel question is asked
  messages: {}, // area => note
  fieldErrors: new Map(), // field id => note
};

// A booking code as the server writes it; what a guest types is checked against it first.
const CODE = /^[A-Za-z0-9_-]{1,40}$/;
// An e-mail address as a guest writes one: something, @, a domain with a dot, no blanks.
const EMAIL = /^[^\s@]+@[^\s@.]+(\.[^\s@.]+)+$/;
const BOOKER_FIELDS = ["firstName", "surname", "address1", "address2", "postcode", "place",
                       "nation", "phone", "email", "remark"];

const $ = (id) => document.getElementById(id);

// A failure for the guest: a sentence of the language file (key and its arguments), or an
// answer of the server (its status, error code, the wait it asked for and the field it named).
class PageError extends Error {
  constructor({ key = null, args = [], status = 0, code = "", retry = null, field = null }) {
    super(key || code || String(status));
    Object.assign(this, { key, args, status, code, retry, field });
  }
}

// --- language ---

function t(key, ...args) {
  let value = TEXTS[key];
  if (value === undefined) {
    // A copied language file that lacks a text borrows the first language's, when loaded.
    const first = LANGUAGES[languageButtons()[0].lang];
    if (first) value = first[key];
  }
  return typeof value === "function" ? value(...args) : value;
}

// The page's languages, one button each, as the server wrote them.
function languageButtons() {
  return [...document.querySelectorAll("#languages button[lang]")];
}

// A language kept from an earlier visit, else the one the page arrived in.
function chooseLanguage() {
  let stored = null;
  try {
    stored = window.localStorage.getItem("booking-page-language");
  } catch (failure) {
    stored = null; // storage refused: the browser's languages decide
  }
  if (stored && languageButtons().some((button) => button.lang === stored)) return stored;
  return document.documentElement.lang;
}

// Resolves once the language's file has run.
function loadLanguage(lang) {
  if (Object.hasOwn(LANGUAGES, lang)) return Promise.resolve();
  const button = languageButtons().find((each) => each.lang === lang);
  return new Promise((resolve, reject) => {
    const script = element("script");
    script.src = button.dataset.src;
    script.addEventListener("load", resolve);
    script.addEventListener("error", () => {
      script.remove();
      reject(new PageError({ key: "networkError" }));
    });
    document.head.append(script);
  });
}

async function setLanguage(lang) {
  try {
    await loadLanguage(lang);
  } catch (failure) {
    return; // the file did not come: the page stays in its language, and another click tries
  }
  TEXTS = LANGUAGES[lang];
  try {
    window.localStorage.setItem("booking-page-language", lang);
  } catch (failure) {
    // Not kept for the next visit; this one still switches.
  }
  renderAll();
  const pressed = document.querySelector(`#languages button[lang="${lang}"]`);
  if (pressed) pressed.focus();
}

// What a note says: a failure, or a key of the language file with its arguments.
function noteText(note) {
  if (note.failure) return failureText(note.failure);
  if (note.labelKey) return t(note.key, t(note.labelKey));
  return t(note.key, ...(note.args || []));
}

function failureText(failure) {
  if (!(failure instanceof PageError)) return t("serverError");
  if (failure.key) return t(failure.key, ...failure.args);
  if (failure.status === 0) return t("networkError");
  // A code may mean another thing where the server failed (-xxxx: no price, or no matrix).
  if (failure.status >= 500) return t("serverError");
  const known = TEXTS.errors[failure.code];
  if (typeof known === "function") return known(TEXTS.tryAgain(failure.retry));
  if (typeof known === "string") return known;
  if (failure.status === 429) return TEXTS.errors.too_many_requests(TEXTS.tryAgain(failure.retry));
  return t("refused");
}

function price(amount) {
  return new Intl.NumberFormat(TEXTS.locale, { style: "currency", currency: SETTINGS.currency })
      .format(amount);
}

function date(iso) {
  if (!/^\d{4}-\d{2}-\d{2}$/.test(String(iso))) return String(iso);
  return new Intl.DateTimeFormat(TEXTS.locale, { day: "numeric", month: "short", year: "numeric" })
      .format(Days.parse(iso));
}

function typeName(type) {
  return state.typeNames.get(type) || t("typeName", type);
}

function boardName(board) {
  return TEXTS.boards[board] || t("boardName", board);
}

// --- talking to the API ---

function holdSeconds() {
  const asked = new URLSearchParams(window.location.search).get("hold");
  if (asked !== null && /^\d{1,5}$/.test(asked)) {
    const seconds = Number(asked);
    // Only shorter: a guest's hold may last no longer than this.
    if (seconds >= 1 && seconds <= SETTINGS.holdSeconds) return seconds;
  }
  return SETTINGS.holdSeconds;
}

// Retry-After in seconds: it may be a number of seconds or a date; null when it is neither.
function retryAfter(response) {
  const value = (response.headers.get("Retry-After") || "").trim();
  if (/^\d{1,9}$/.test(value)) return Math.max(1, Number(value));
  const at = Date.parse(value);
  return Number.isNaN(at) ? null : Math.max(1, Math.ceil((at - Date.now()) / 1000));
}

// The write whose answer never came, with its Idempotency-Key: sent again as it was, it
// carries the same key, so the server answers it with the first answer instead of holding
// or booking twice. Any answer ends it; a changed request gets a new key.
let unanswered = null;

function idempotencyKey(request) {
  if (unanswered === null || unanswered.request !== request) {
    const bytes = crypto.getRandomValues(new Uint8Array(16));
    const key = Array.from(bytes, (b) => b.toString(16).padStart(2, "0")).join("");
    unanswered = { request, key };
  }
  return unanswered.key;
}

// One call to the API, with the booking's code when it acts on a booking. Resolves with the
// answer's JSON; rejects with a PageError.
async function api(method, path, body, code) {
  const options = { method, cache: "no-store", headers: {} };
  if (code !== undefined) options.headers["Booking-Code"] = code;
  let request = null;
  if (body !== undefined) {
    options.headers["Content-Type"] = "application/json";
    options.body = JSON.stringify(body);
    request = `${method} ${path} ${options.body}`;
    options.headers["Idempotency-Key"] = idempotencyKey(request);
  }
  let response;
  try {
    response = await fetch(path, options);
  } catch (failure) {
    throw new PageError({});
  }
  if (unanswered !== null && unanswered.request === request) unanswered = null;
  let data = null;
  try {
    data = await response.json();
  } catch (failure) {
    data = null;
  }
  const status = response.status;
  if (response.ok) {
    if (data === null || typeof data !== "object") throw new PageError({ status: 502 });
    return data;
  }
  const error = data && typeof data === "object" ? data.error : null;
  const code_ = error && typeof error.code === "string" ? error.code : "";
  // The face names the field it refused (a wrong nation code included).
  const field = error && typeof error.field === "string" ? error.field : null;
  throw new PageError({ status, code: code_, field,
                        retry: status === 429 ? retryAfter(response) : null });
}

// --- messages, field errors and what a screen reader is told ---

function showMessage(area, note, focus) {
  state.messages[area] = note;
  renderMessage(area);
  if (focus) $(`${area}-message`).focus();
}

function clearMessage(area) {
  delete state.messages[area];
  renderMessage(area);
}

function renderMessage(area) {
  const box = $(`${area}-message`);
  const note = state.messages[area];
  box.hidden = !note;
  box.textContent = note ? noteText(note) : "";
  box.classList.toggle("info", Boolean(note && note.kind === "info"));
}

function failed(area, failure) {
  if (!(failure instanceof PageError)) console.error(failure);
  showMessage(area, { failure }, true);
}

// Said where nothing the guest did asked for it (the page's start, a month of the calendar):
// shown and announced, and the focus stays where the guest is.
function tell(area, note) {
  showMessage(area, note, false);
  announce(noteText(note));
}

// The error stands beside its field and is part of the field's description.
function setFieldError(id, note) {
  state.fieldErrors.set(id, note);
  renderFieldError(id);
}

function clearFieldErrors(ids) {
  for (const id of ids) {
    state.fieldErrors.delete(id);
    renderFieldError(id);
  }
}

function renderFieldError(id) {
  const field = $(id);
  const errorId = `${id}-error`;
  let box = $(errorId);
  const note = state.fieldErrors.get(id);
  if (!box) {
    box = document.createElement("p");
    box.id = errorId;
    box.className = "field-error";
    field.insertAdjacentElement("afterend", box);
  }
  box.hidden = !note;
  box.textContent = note ? noteText(note) : "";
  const described = (field.getAttribute("aria-describedby") || "").split(" ")
      .filter((word) => word && word !== errorId);
  if (note) described.unshift(errorId);
  if (described.length) field.setAttribute("aria-describedby", described.join(" "));
  else field.removeAttribute("aria-describedby");
  // The calendar is a grid, which takes no aria-invalid: its status line says what is wrong.
  if (field.matches("input, select, textarea")) {
    if (note) field.setAttribute("aria-invalid", "true");
    else field.removeAttribute("aria-invalid");
  }
}

function focusField(id) {
  if (id === "calendar-grid") calendar.focusCell();
  else $(id).focus();
}

// A polite word to a screen reader; emptied first so that the same words are said again.
function announce(text) {
  const region = $("announce");
  region.textContent = "";
  window.setTimeout(() => {
    region.textContent = text;
  }, 50);
}

function element(tag, text, className) {
  const node = document.createElement(tag);
  if (text !== undefined) node.textContent = String(text);
  if (className) node.className = className;
  return node;
}

// --- drawing the page from its state ---

// The words the page arrived with, in the language shown; a text set again unchanged moves
// nothing.
function applyTexts() {
  document.documentElement.lang = TEXTS.lang;
  document.title = t("title");
  for (const node of document.querySelectorAll("[data-text]")) {
    const text = t(node.dataset.text);
    if (typeof text === "string" && node.textContent !== text) node.textContent = text;
  }
  for (const name of ["content", "aria-label"]) {
    for (const node of document.querySelectorAll(`[data-text-${name}]`)) {
      const text = t(node.getAttribute(`data-text-${name}`));
      if (typeof text === "string") node.setAttribute(name, text);
    }
  }
}

function renderLanguages() {
  for (const button of languageButtons()) {
    button.setAttribute("aria-pressed", String(button.lang === TEXTS.lang));
  }
}

function renderAll() {
  applyTexts();
  renderLanguages();
  renderFacilities();
  calendar.render();
  renderResults();
  renderHold();
  renderBooking();
  $("search").textContent = t("search");
  $("book").textContent = state.booking ? t("booking") : t("book");
  for (const area of ["search", "results", "hold", "lookup"]) renderMessage(area);
  for (const id of state.fieldErrors.keys()) renderFieldError(id);
}

// --- facilities and the calendar ---

let calendar = null;

async function loadFacilities() {
  let answer;
  try {
    answer = await api("GET", "/api/v1/facilities");
  } catch (failure) {
    tell("search", { failure });
    return;
  }
  state.facilities = (answer.facilities || []).filter(
      (row) => Number.isInteger(row.facility) && typeof row.name === "string");
  state.facilitiesKnown = true;
  if (state.facilities.length === 0) {
    showMessage("search", { key: "noFacilities" });
    return;
  }
  renderFacilities();
  selectFacility(state.facilities[0].facility);
}

// The business's nations, for the booker's form: a list to choose from, so that a guest never
// guesses at a code. Norway first chosen, as the business's guests mostly are.
async function loadNations() {
  let answer;
  try {
    answer = await api("GET", "/api/v1/nations");
  } catch (failure) {
    return; // the form keeps its one choice; a wrong one is refused beside the field
  }
  const nations = (answer.nations || []).filter(
      (row) => typeof row.code === "string" && typeof row.name === "string");
  if (nations.length === 0) return;
  const select = $("nation");
  const chosen = select.value;
  select.replaceChildren(...nations.map((row) => {
    const option = element("option", row.name);
    option.value = row.code;
    return option;
  }));
  select.value = nations.some((row) => row.code === chosen) ? chosen : nations[0].code;
}

function renderFacilities() {
  const select = $("facility");
  const several = state.facilities.length > 1;
  $("facility-field").hidden = state.facilitiesKnown && !several;
  const only = state.facilities.length === 1 ? state.facilities[0] : null;
  $("facility-name").hidden = !only;
  $("facility-name").textContent = only ? only.name : "";
  if (select.options.length !== state.facilities.length) {
    select.replaceChildren(...state.facilities.map((row) => {
      const option = element("option", row.name);
      option.value = String(row.facility);
      return option;
    }));
  }
  if (state.facility !== null) select.value = String(state.facility);
}

function selectFacility(facility) {
  state.facility = facility;
  $("facility").value = String(facility);
  calendar.reset((from, to) =>
    api("GET", `/api/v1/availability-matrix?facility=${facility}&from=${from}&to=${to}`)
        .then((answer) => answer.days || []));
  readTypes(facility).then(() => {
    renderResults();
    renderHold();
  });
}

// A facility's rental types, read once, for their names; a failure leaves the numbers.
function readTypes(facility) {
  if (!state.typesRead.has(facility)) {
    const reading = api("GET", `/api/v1/rental-types?facility=${facility}`).then((answer) => {
      for (const type of answer.rentalTypes || []) {
        if (Number.isInteger(type.type)) {
          state.typeNames.set(type.type, type.description || type.code || "");
        }
      }
    }, () => state.typesRead.delete(facility));
    state.typesRead.set(facility, reading);
  }
  return state.typesRead.get(facility);
}

// --- search ---

async function search(event) {
  event.preventDefault();
  clearMessage("search");
  clearFieldErrors(["persons", "calendar-grid"]);
  const persons = $("persons").value.trim();
  const wrong = [];
  if (!/^\d{1,4}$/.test(persons) || Number(persons) < 1 || Number(persons) > 1000) {
    setFieldError("persons", { key: "personsInvalid" });
    wrong.push("persons");
  }
  if (!calendar.arrival || !calendar.departure) {
    setFieldError("calendar-grid", { key: "datesMissing" });
    wrong.push("calendar-grid");
  }
  if (state.facility === null) {
    showMessage("search", { key: "noFacilities" }, wrong.length === 0);
    return;
  }
  if (wrong.length) {
    focusField(wrong[0]);
    return;
  }
  const facility = state.facility;
  const arrival = calendar.arrival;
  const departure = calendar.departure;
  const button = $("search");
  button.disabled = true;
  button.textContent = t("searching");
  try {
    const query = `facility=${facility}&arrival=${arrival}&departure=${departure}`;
    const [, free] = await Promise.all([
      readTypes(facility),
      api("GET", `/api/v1/availability?${query}`),
    ]);
    releaseHold();
    state.booked = null;
    clearMessage("results");
    state.results = { arrival, departure, persons: Number(persons),
                      rows: free.availability || [] };
    renderResults();
    renderBooked();
    $("results-heading").focus();
    // The calendar showed these nights as free; they are not, so it reads them afresh.
    if (!state.results.rows.some((row) => row.free > 0)) calendar.refresh();
  } catch (failure) {
    if (failure instanceof PageError && failure.code === "invalid_stay") {
      setFieldError("calendar-grid", { failure });
      focusField("calendar-grid");
    } else {
      failed("search", failure);
    }
  } finally {
    button.disabled = false;
    button.textContent = t("search");
  }
}

// An offer can be held only with a price for the whole stay.
function priced(row) {
  return typeof row.price === "number" && row.board !== null && row.board !== undefined;
}

function renderResults() {
  const results = state.results;
  $("results-section").hidden = !results;
  if (!results) return;
  const stay = t("stay", date(results.arrival), date(results.departure));
  $("results-for").textContent =
      t("resultsFor", stay, Days.between(results.arrival, results.departure), results.persons);
  const byType = new Map();
  for (const row of results.rows) {
    if (!(row.free > 0)) continue;
    if (!byType.has(row.type)) byType.set(row.type, []);
    byType.get(row.type).push(row);
  }
  const list = $("results");
  list.replaceChildren();
  for (const [type, rows] of [...byType].sort((a, b) => a[0] - b[0])) {
    const item = element("li", undefined, "type");
    item.dataset.type = type;
    item.append(element("h3", typeName(type)));
    rows.sort((a, b) => (a.board ?? 0) - (b.board ?? 0));
    for (const row of rows) item.append(offerLine(row));
    list.append(item);
  }
  $("none-free").hidden = byType.size > 0;
}

function offerLine(row) {
  const line = element("div", undefined, "board");
  const what = element("div", undefined, "what");
  if (row.board !== null && row.board !== undefined) {
    line.dataset.board = row.board;
    what.append(element("div", boardName(row.board)));
  }
  what.append(element("div", t("free", row.free), "free"));
  line.append(what);
  if (!priced(row)) {
    line.classList.add("unpriced");
    line.append(element("div", t("noPrice"), "no-price"));
    return line;
  }
  line.append(element("div", price(row.price), "price"));
  const button = element("button", t("hold"), "hold");
  button.type = "button";
  // The visible word is the same on every button; the rest tells a screen reader which.
  button.append(element("span", ` ${t("holdWhat", typeName(row.type), boardName(row.board))}`,
                        "visually-hidden"));
  button.disabled = state.hold !== null;
  button.addEventListener("click", () => holdUnits(row));
  line.append(button);
  return line;
}

function setHoldButtons(enabled) {
  for (const button of document.querySelectorAll("#results button.hold")) {
    button.disabled = !enabled;
  }
}

// --- the hold and its countdown ---

async function holdUnits(row) {
  if (state.hold !== null) return;
  clearMessage("results");
  setHoldButtons(false);
  const results = state.results;
  try {
    const answer = await api("POST", "/api/v1/reservations", {
      facility: state.facility,
      type: row.type,
      arrival: results.arrival,
      departure: results.departure,
      board: row.board,
      units: SETTINGS.units,
      persons: results.persons,
      agent: SETTINGS.agent,
      timeout: holdSeconds(),
    });
    if (!Number.isInteger(answer.refnr) || !(answer.timeout > 0) ||
        typeof answer.bookingCode !== "string" || !CODE.test(answer.bookingCode)) {
      throw new PageError({ key: "serverError" });
    }
    state.hold = {
      refnr: answer.refnr,
      code: answer.bookingCode,
      deadline: performance.now() + answer.timeout * 1000,
      lastLeft: answer.timeout,
    };
    state.held = {
      row,
      price: typeof answer.price === "number" ? answer.price : row.price,
      arrival: results.arrival,
      departure: results.departure,
      expired: false,
    };
    clearMessage("hold");
    clearFieldErrors(BOOKER_FIELDS);
    setBookerForm(true);
    renderHold();
    state.timer = window.setInterval(tick, 250);
    $("hold-heading").focus();
  } catch (failure) {
    setHoldButtons(true);
    failed("results", failure);
  }
}

function renderHold() {
  const held = state.held;
  $("hold-section").hidden = !held;
  if (!held) return;
  $("hold-summary").textContent = t("holdSummary", typeName(held.row.type),
      boardName(held.row.board), t("stay", date(held.arrival), date(held.departure)),
      price(held.price));
  $("countdown").classList.toggle("expired", held.expired);
  if (held.expired) {
    $("countdown").textContent = t("holdExpired");
  } else if (state.hold) {
    const left = secondsLeft();
    $("countdown").textContent = t("holdCountdown", Math.floor(left / 60), left % 60);
  }
}

function secondsLeft() {
  return Math.max(0, Math.ceil((state.hold.deadline - performance.now()) / 1000));
}

// A screen reader hears the time left at whole minutes and at these seconds, never at every
// second: the marks passed since the last tick, the latest of them.
const LAST_SECONDS = [30, 20, 10, 5];

function markPassed(before, now) {
  const seconds = LAST_SECONDS.filter((mark) => now <= mark && mark < before);
  if (seconds.length) return { seconds: now };
  if (now <= LAST_SECONDS[0]) return null;
  const minute = Math.ceil(now / 60) * 60;
  return minute < before ? { minutes: Math.max(1, Math.round(now / 60)) } : null;
}

function tick() {
  if (state.hold === null) return;
  const left = secondsLeft();
  if (left > 0) {
    renderHold();
    const mark = markPassed(state.hold.lastLeft, left);
    state.hold.lastLeft = left;
    if (mark && mark.seconds) announce(t("holdLeftSeconds", mark.seconds));
    else if (mark) announce(t("holdLeftMinutes", mark.minutes));
  } else if (!state.booking) {
    expire();
  }
}

function stopCountdown() {
  window.clearInterval(state.timer);
  state.timer = 0;
}

function setBookerForm(enabled) {
  for (const node of $("booker-form").querySelectorAll("input, textarea, button")) {
    node.disabled = !enabled;
  }
}

// The hold is one no more: the booker's form is shut, and another may be held. Returns it.
function putAwayHold() {
  const hold = state.hold;
  stopCountdown();
  state.hold = null;
  setBookerForm(false);
  setHoldButtons(true);
  return hold;
}

function cancelHold(hold) {
  if (hold === null) return;
  api("DELETE", `/api/v1/reservations/${hold.refnr}`, undefined, hold.code).catch(() => {});
}

// The server lets a hold go at its next sweep; the guest is told at once, and the units are
// given back now rather than then.
function expire() {
  cancelHold(putAwayHold());
  state.held.expired = true;
  renderHold();
  announce(t("holdExpired"));
}

function releaseHold() {
  cancelHold(putAwayHold());
  state.held = null;
  renderHold();
}

// --- the booker ---

function bookerValue(id) {
  return $(id).value.trim();
}

async function book(event) {
  event.preventDefault();
  if (state.hold === null || state.booking) return;
  clearMessage("hold");
  clearFieldErrors(BOOKER_FIELDS);
  // The mails about the booking are written in the language the guest books in.
  const body = { agent: SETTINGS.agent, language: TEXTS.lang };
  for (const id of BOOKER_FIELDS) {
    const value = bookerValue(id);
    if (value) body[id] = value;
  }
  // In the order of the form, so that focus goes to the first wrong field.
  const wrong = [];
  const refuse = (id, note) => {
    setFieldError(id, note);
    wrong.push(id);
  };
  if (!body.surname) refuse("surname", { key: "fieldMissing", labelKey: "surname" });
  if (!body.postcode) refuse("postcode", { key: "fieldMissing", labelKey: "postcode" });
  else if (!/^\d+$/.test(body.postcode)) refuse("postcode", { key: "postcodeDigits" });
  if (!body.nation) refuse("nation", { key: "fieldMissing", labelKey: "nation" });
  if (body.email && !EMAIL.test(body.email)) refuse("email", { key: "emailInvalid" });
  if (wrong.length) {
    focusField(wrong[0]);
    return;
  }
  const { refnr, code } = state.hold;
  state.booking = true;
  $("book").disabled = true;
  $("book").textContent = t("booking");
  try {
    const answer = await api("PUT", `/api/v1/reservations/${refnr}/booker`, body, code);
    if (answer.refnr !== refnr) throw new PageError({ key: "serverError" });
    if (answer.status === "awaiting_confirmation") await showAwaiting(refnr, code, body.email);
    else await showBooked(refnr, code);
  } catch (failure) {
    bookingFailed(failure, refnr, code);
  } finally {
    state.booking = false;
    $("book").textContent = t("book");
    if (state.hold !== null) $("book").disabled = false;
    tick();
  }
}

function bookingFailed(failure, refnr, code) {
  const kind = failure instanceof PageError ? failure.code : "";
  if (kind === "already_booked") {
    // An earlier try went through and only its answer was lost.
    showBooked(refnr, code).catch((lost) => failed("lookup", lost));
    return;
  }
  if (kind === "cancelled") {
    putAwayHold();
    state.held = null;
    renderHold();
    failed("results", failure);
    return;
  }
  if (kind === "email_required") {
    setFieldError("email", { key: "emailRequired" });
    focusField("email");
    return;
  }
  const field = kind === "invalid_email" ? "email" : failure.field;
  if (field && BOOKER_FIELDS.includes(field)) {
    setFieldError(field, kind === "invalid_email" ? { failure } : { key: "fieldInvalid" });
    focusField(field);
    return;
  }
  failed("hold", failure);
}

// The manage link keeps the code in the fragment, which a browser sends to no server and
// puts in no Referer.
function manageLink(refnr, code) {
  return `/#ref=${refnr}&code=${encodeURIComponent(code)}`;
}

async function showBooked(refnr, code) {
  stopCountdown();
  state.hold = null;
  state.held = null;
  state.results = null;
  state.booked = { refnr, code };
  renderHold();
  renderResults();
  renderBooked();
  $("booked-heading").focus();
  announce(t("bookedAnnounce", refnr));
  $("refnr").value = String(refnr);
  $("code").value = code;
  clearMessage("lookup");
  clearFieldErrors(["refnr", "code"]);
  await lookUp(refnr, code);
}

// The booking is made when the guest opens the link of the mail it is sent: the hold stays
// the server's to end, so the page's countdown stops here without giving the units back.
async function showAwaiting(refnr, code, email) {
  stopCountdown();
  state.hold = null;
  state.held = null;
  state.results = null;
  setBookerForm(false);
  setHoldButtons(true);
  renderHold();
  renderResults();
  showMessage("lookup", { key: "checkMail", args: [email], kind: "info" });
  announce(t("checkMail", email));
  $("refnr").value = String(refnr);
  $("code").value = code;
  clearFieldErrors(["refnr", "code"]);
  await lookUp(refnr, code);
  $("lookup-message").focus();
}

// Opened from the link of the mail: the guest finishes the booking.
async function confirmFromMail(refnr, code, token) {
  clearMessage("lookup");
  try {
    await api("POST", `/api/v1/reservations/${refnr}/confirm`, { token }, code);
    await showBooked(refnr, code);
    showMessage("lookup", { key: "confirmed", args: [refnr], kind: "info" });
  } catch (failure) {
    failed("lookup", failure);
    // Show what the booking is now, when it can be shown; the message says why.
    lookUp(refnr, code).catch(() => {});
  }
}

function renderBooked() {
  const booked = state.booked;
  $("booked-section").hidden = !booked;
  if (!booked) return;
  $("booked-refnr").textContent = String(booked.refnr);
  $("booked-code").textContent = booked.code;
  $("manage-link").href = manageLink(booked.refnr, booked.code);
}

// --- look-up and cancellation ---

function statusText(answer) {
  if (answer.status === "held") {
    const ends = typeof answer.holdEnds === "string" ? new Date(answer.holdEnds) : null;
    if (!ends || Number.isNaN(ends.getTime())) return t("statusHeld", null, 0);
    return t("statusHeld", ends, Math.max(0, Math.ceil((ends - Date.now()) / 60000)));
  }
  if (answer.status === "awaiting_confirmation") {
    const ends = typeof answer.holdEnds === "string" ? new Date(answer.holdEnds) : null;
    return t("statusAwaiting", ends && !Number.isNaN(ends.getTime()) ? ends : null);
  }
  if (answer.status === "booked") return t("statusBooked");
  if (answer.status === "cancelled") return t("statusCancelled");
  return "";
}

async function lookUp(refnr, code) {
  let answer;
  try {
    [answer] = await Promise.all([
      api("GET", `/api/v1/reservations/${refnr}`, undefined, code),
      // A booking's lines name rental types of any facility; a manage link may be opened
      // before the facilities are read.
      state.facilitiesRead.then(
          () => Promise.all(state.facilities.map((row) => readTypes(row.facility)))),
    ]);
  } catch (failure) {
    // A wrong code is answered as a number that does not exist (-1001): the guest checks
    // both. A booking without lines is there, and its own sentence says so.
    if (failure instanceof PageError && failure.status === 404 && failure.code === "-1001") {
      throw new PageError({ key: "notFound", args: [refnr], status: 404, code: "-1001" });
    }
    throw failure;
  }
  state.shown = { refnr, code, answer };
  state.confirming = false;
  renderBooking();
}

function renderBooking() {
  const shown = state.shown;
  $("booking").hidden = !shown;
  if (!shown) return;
  const { answer } = shown;
  const lines = Array.isArray(answer.lines) ? answer.lines : [];
  const list = $("booking-lines");
  list.replaceChildren();
  // Each line is a small card: it never needs a sideways scroll on a phone.
  for (const line of lines) {
    const item = element("li", undefined, "line");
    item.append(element("h4", typeName(line.type)));
    const facts = element("dl", undefined, "facts");
    for (const [key, value] of [
      ["lineArrival", date(line.arrival)], ["lineDeparture", date(line.departure)],
      ["lineBoard", boardName(line.board)], ["lineUnits", line.units],
      ["linePersons", line.persons],
      ["linePrice", typeof line.price === "number" ? price(line.price) : ""]]) {
      facts.append(element("dt", t(key)), element("dd", value ?? ""));
    }
    item.append(facts);
    list.append(item);
  }
  $("booking-heading").textContent = t("bookingHeading", shown.refnr);
  const status = statusText(answer);
  $("booking-status").textContent = status;
  $("booking-status").hidden = !status;
  $("no-lines").hidden = lines.length > 0;
  list.hidden = lines.length === 0;
  // A cancelled booking still lists its lines, but there is nothing left to cancel.
  const cancelled = answer.status === "cancelled";
  $("cancel-buttons").hidden = cancelled || state.confirming;
  $("cancel-confirm").hidden = cancelled || !state.confirming;
}

// Looks up the booking whose number and code stand in the form; true when it is shown.
async function lookUpFromForm() {
  clearMessage("lookup");
  clearFieldErrors(["refnr", "code"]);
  const refnr = $("refnr").value.trim();
  const code = $("code").value.trim();
  const wrong = [];
  if (!/^\d{1,10}$/.test(refnr) || Number(refnr) < 1) {
    setFieldError("refnr", { key: "refnrDigits" });
    wrong.push("refnr");
  }
  if (!code) {
    setFieldError("code", { key: "codeRequired" });
    wrong.push("code");
  } else if (!CODE.test(code)) {
    setFieldError("code", { key: "codeCharacters" });
    wrong.push("code");
  }
  if (wrong.length) {
    state.shown = null;
    renderBooking();
    focusField(wrong[0]);
    return false;
  }
  $("lookup").disabled = true;
  try {
    await lookUp(Number(refnr), code);
    $("booking-heading").focus();
    return true;
  } catch (failure) {
    state.shown = null;
    renderBooking();
    if (failure instanceof PageError && failure.key === "notFound") {
      setFieldError("refnr", { failure });
      focusField("refnr");
    } else {
      failed("lookup", failure);
    }
    return false;
  } finally {
    $("lookup").disabled = false;
  }
}

// Opened through a manage link: the booking is looked up at once, and the code leaves the
// address bar first, so that a screenshot or a shared screen does not show it.
async function openFromFragment() {
  const fragment = new URLSearchParams(window.location.hash.slice(1));
  if (fragment.has("confirm") && fragment.has("token")) {
    history.replaceState(history.state, "", window.location.pathname + window.location.search);
    const refnr = Number(fragment.get("confirm"));
    const code = fragment.get("code") || "";
    $("refnr").value = String(refnr);
    $("code").value = code;
    await confirmFromMail(refnr, code, fragment.get("token"));
    return;
  }
  if (!fragment.has("ref") && !fragment.has("code")) return;
  history.replaceState(history.state, "", window.location.pathname + window.location.search);
  $("refnr").value = fragment.get("ref") || "";
  $("code").value = fragment.get("code") || "";
  await lookUpFromForm();
}

async function cancelBooking() {
  const shown = state.shown;
  if (shown === null) return;
  clearMessage("lookup");
  $("cancel-yes").disabled = true;
  try {
    await api("DELETE", `/api/v1/reservations/${shown.refnr}`, undefined, shown.code);
    if (state.booked && state.booked.refnr === shown.refnr) state.booked = null;
    renderBooked();
    showMessage("lookup", { key: "cancelled", args: [shown.refnr], kind: "info" });
    announce(t("cancelled", shown.refnr));
  } catch (failure) {
    failed("lookup", failure);
    if (!(failure instanceof PageError && failure.code === "already_cancelled")) return;
  } finally {
    $("cancel-yes").disabled = false;
  }
  // Show what the booking is now; the button that had the focus is gone with it.
  try {
    await lookUp(shown.refnr, shown.code);
    $("booking-heading").focus();
  } catch (failure) {
    state.shown = null;
    renderBooking();
  }
}

function askCancel(asking) {
  state.confirming = asking;
  renderBooking();
  $(asking ? "cancel-keep" : "cancel").focus();
}

async function start() {
  for (const button of languageButtons()) {
    button.addEventListener("click", () => setLanguage(button.lang));
  }
  let lang = chooseLanguage();
  try {
    await loadLanguage(lang);
  } catch (failure) {
    lang = document.documentElement.lang;
  }
  TEXTS = LANGUAGES[lang];
  calendar = new StayCalendar($("calendar"), {
    text: t,
    locale: () => TEXTS.locale,
    monthsAhead: SETTINGS.monthsAhead,
    onChange: () => clearFieldErrors(["calendar-grid"]),
    onError: (failure) => tell("search", { failure }),
  });
  renderAll();
  $("facility").addEventListener("change", () => {
    if (state.hold === null) {
      state.results = null;
      renderResults();
    }
    selectFacility(Number($("facility").value));
  });
  $("search-form").addEventListener("submit", search);
  $("booker-form").addEventListener("submit", book);
  $("release").addEventListener("click", () => {
    releaseHold();
    showMessage("results", { key: "released", kind: "info" });
    $("results-heading").focus();
  });
  $("lookup-form").addEventListener("submit", (event) => {
    event.preventDefault();
    lookUpFromForm();
  });
  $("cancel").addEventListener("click", () => askCancel(true));
  $("cancel-keep").addEventListener("click", () => askCancel(false));
  $("cancel-yes").addEventListener("click", cancelBooking);
  // A manage link opened in this page only changes its fragment.
  window.addEventListener("hashchange", openFromFragment);
  state.facilitiesRead = loadFacilities();
  loadNations();
  openFromFragment();
}

document.addEventListener("DOMContentLoaded", start);
