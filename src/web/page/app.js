// The reference booking page: search, hold, book, look up and cancel, through the JSON API
// of the server that serves it. Server texts reach the page through textContent only.
"use strict";

// What a business may adjust. The hold time may be shortened for a trial run with ?hold=S.
const SETTINGS = {
  agent: 1, // the web shop's own agent number
  holdSeconds: 900,
  units: 1,
};

const state = {
  facility: null,
  arrival: "",
  departure: "",
  persons: 0,
  typeNames: new Map(),
  hold: null, // {refnr, code, deadline}
  timer: 0,
  booking: false, // a booker's details are on their way
  shown: null, // {refnr, code} of the booking shown
};

// A booking code as the server writes it; what a guest types is checked against it first.
const CODE = /^[A-Za-z0-9_-]{1,40}$/;

const $ = (id) => document.getElementById(id);

// A sentence for the guest, with the answer's status and error code when there was one.
class PageError extends Error {
  constructor(message, status = 0, code = "") {
    super(message);
    this.status = status;
    this.code = code;
  }
}

// The server's refusals that are ours to put in words, by their code.
const CONFLICTS = {
  already_booked: "alreadyBooked",
  already_cancelled: "alreadyCancelled",
  cancelled: "bookingCancelled",
};
const TOO_MANY = { too_many_holds: "tooManyHolds", too_many_bookings: "tooManyBookings" };

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

// One call to the API, with the booking's code when it acts on a booking. Resolves with the
// answer's JSON; rejects with a PageError whose message is a sentence for the guest.
async function api(method, path, body, code) {
  const options = { method, cache: "no-store", headers: {} };
  if (code !== undefined) options.headers["Booking-Code"] = code;
  if (body !== undefined) {
    options.headers["Content-Type"] = "application/json";
    options.body = JSON.stringify(body);
  }
  let response;
  try {
    response = await fetch(path, options);
  } catch (failure) {
    throw new PageError(TEXTS.networkError);
  }
  let data = null;
  try {
    data = await response.json();
  } catch (failure) {
    data = null;
  }
  const status = response.status;
  if (status >= 500) throw new PageError(TEXTS.serverError, status);
  if (response.ok) {
    if (data === null || typeof data !== "object") throw new PageError(TEXTS.serverError);
    return data;
  }
  const error = data && typeof data === "object" ? data.error : null;
  const kind = error && typeof error.code === "string" ? error.code : "";
  if (status === 429) {
    const sentence = TEXTS[TOO_MANY[kind] || "tooManyRequests"];
    throw new PageError(sentence(TEXTS.tryAgain(retryAfter(response))), status, kind);
  }
  if (status === 409 && Object.hasOwn(CONFLICTS, kind)) {
    throw new PageError(TEXTS[CONFLICTS[kind]], status, kind);
  }
  const message = error && typeof error.message === "string" ? error.message.trim() : "";
  if (!message) throw new PageError(TEXTS.refused, status, kind);
  // The booking system's own refusals are sentences for the guest already.
  const fromBookingSystem = /^-?\d+$/.test(kind);
  throw new PageError(fromBookingSystem ? message : TEXTS.refusedWith(message), status, kind);
}

function showMessage(text, kind) {
  const box = $("message");
  box.textContent = text;
  box.classList.toggle("info", kind === "info");
  box.hidden = false;
}

function clearMessage() {
  $("message").hidden = true;
  $("message").textContent = "";
}

function failed(failure) {
  showMessage(failure instanceof PageError ? failure.message : TEXTS.serverError);
  if (!(failure instanceof PageError)) console.error(failure);
}

function isoDate(date) {
  const pad = (n) => String(n).padStart(2, "0");
  return `${date.getFullYear()}-${pad(date.getMonth() + 1)}-${pad(date.getDate())}`;
}

function daysFromToday(days) {
  const date = new Date();
  date.setDate(date.getDate() + days);
  return isoDate(date);
}

function typeName(type) {
  return state.typeNames.get(type) || TEXTS.typeName(type);
}

function boardName(board) {
  return TEXTS.boards[board] || TEXTS.boardName(board);
}

function element(tag, text, className) {
  const node = document.createElement(tag);
  if (text !== undefined) node.textContent = String(text);
  if (className) node.className = className;
  return node;
}

function applyTexts() {
  document.documentElement.lang = TEXTS.lang;
  document.title = TEXTS.title;
  for (const node of document.querySelectorAll("[data-text]")) {
    const text = TEXTS[node.dataset.text];
    if (typeof text === "string") node.textContent = text;
  }
  const header = document.querySelector("#booking-lines thead tr");
  for (const column of TEXTS.lineColumns) header.append(element("th", column));
}

// --- search ---

async function search(event) {
  event.preventDefault();
  clearMessage();
  const facility = $("facility").value.trim();
  const persons = $("persons").value.trim();
  const arrival = $("arrival").value;
  const departure = $("departure").value;
  if (!/^\d{1,9}$/.test(facility) || !/^\d{1,4}$/.test(persons) || Number(persons) < 1 ||
      !arrival || !departure) {
    showMessage(TEXTS.missingSearch);
    return;
  }
  if (departure <= arrival) {
    showMessage(TEXTS.datesOrder);
    return;
  }
  releaseHold();
  $("booked-section").hidden = true;
  const button = $("search");
  button.disabled = true;
  button.textContent = TEXTS.searching;
  try {
    const query = `facility=${facility}&arrival=${arrival}&departure=${departure}`;
    const [types, free] = await Promise.all([
      api("GET", `/api/v1/rental-types?facility=${facility}`),
      api("GET", `/api/v1/availability?${query}`),
    ]);
    state.facility = Number(facility);
    state.persons = Number(persons);
    state.arrival = arrival;
    state.departure = departure;
    state.typeNames = new Map();
    for (const type of types.rentalTypes || []) {
      state.typeNames.set(type.type, type.description || type.code);
    }
    showResults(free.availability || []);
  } catch (failure) {
    $("results-section").hidden = true;
    failed(failure);
  } finally {
    button.disabled = false;
    button.textContent = TEXTS.search;
  }
}

function showResults(rows) {
  const list = $("results");
  list.replaceChildren();
  const byType = new Map();
  for (const row of rows) {
    if (!(row.free > 0) || typeof row.price !== "number") continue;
    if (!byType.has(row.type)) byType.set(row.type, []);
    byType.get(row.type).push(row);
  }
  for (const [type, boards] of byType) {
    const item = element("li", undefined, "type");
    item.dataset.type = type;
    item.append(element("h3", typeName(type)));
    boards.sort((a, b) => a.board - b.board);
    for (const row of boards) {
      const line = element("div", undefined, "board");
      line.dataset.board = row.board;
      const what = element("div", undefined, "what");
      what.append(element("div", boardName(row.board)));
      what.append(element("div", TEXTS.free(row.free), "free"));
      const button = element("button", TEXTS.hold, "hold");
      button.type = "button";
      button.disabled = state.hold !== null;
      button.addEventListener("click", () => holdUnits(row));
      line.append(what, element("div", TEXTS.price(row.price), "price"), button);
      item.append(line);
    }
    list.append(item);
  }
  $("none-free").hidden = byType.size > 0;
  $("results-section").hidden = false;
}

function setHoldButtons(enabled) {
  for (const button of document.querySelectorAll("#results button.hold")) {
    button.disabled = !enabled;
  }
}

// --- the hold and its countdown ---

async function holdUnits(row) {
  if (state.hold !== null) return;
  clearMessage();
  setHoldButtons(false);
  try {
    const answer = await api("POST", "/api/v1/reservations", {
      facility: state.facility,
      type: row.type,
      arrival: state.arrival,
      departure: state.departure,
      board: row.board,
      units: SETTINGS.units,
      persons: state.persons,
      agent: SETTINGS.agent,
      timeout: holdSeconds(),
    });
    if (!Number.isInteger(answer.refnr) || !(answer.timeout > 0) ||
        typeof answer.bookingCode !== "string" || !CODE.test(answer.bookingCode)) {
      throw new PageError(TEXTS.serverError);
    }
    const price = typeof answer.price === "number" ? answer.price : row.price;
    state.hold = {
      refnr: answer.refnr,
      code: answer.bookingCode,
      deadline: performance.now() + answer.timeout * 1000,
    };
    $("hold-summary").textContent = TEXTS.holdSummary(
        typeName(row.type), boardName(row.board),
        TEXTS.stay(TEXTS.date(state.arrival), TEXTS.date(state.departure)), TEXTS.price(price));
    setBookerForm(true);
    $("booker-form").hidden = false;
    $("hold-section").hidden = false;
    $("countdown").classList.remove("expired");
    tick();
    state.timer = window.setInterval(tick, 250);
    $("surname").focus();
  } catch (failure) {
    setHoldButtons(true);
    failed(failure);
  }
}

function tick() {
  if (state.hold === null) return;
  const left = Math.max(0, Math.ceil((state.hold.deadline - performance.now()) / 1000));
  if (left > 0) {
    $("countdown").textContent = TEXTS.holdCountdown(Math.floor(left / 60), left % 60);
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

// The hold is one no more: the booker's form goes, and another may be held. Returns it.
function putAwayHold() {
  const hold = state.hold;
  stopCountdown();
  state.hold = null;
  setBookerForm(false);
  $("booker-form").hidden = true;
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
  $("countdown").textContent = TEXTS.holdExpired;
  $("countdown").classList.add("expired");
}

function releaseHold() {
  const hold = state.hold;
  stopCountdown();
  state.hold = null;
  $("hold-section").hidden = true;
  cancelHold(hold);
  return hold !== null;
}

// --- the booker ---

function bookerValue(id) {
  return $(id).value.trim();
}

async function book(event) {
  event.preventDefault();
  if (state.hold === null || state.booking) return;
  clearMessage();
  const body = {
    agent: SETTINGS.agent,
    nation: bookerValue("nation"),
    surname: bookerValue("surname"),
    postcode: bookerValue("postcode"),
  };
  if (!body.nation || !body.surname || !body.postcode) {
    showMessage(TEXTS.required);
    return;
  }
  if (!/^\d+$/.test(body.postcode)) {
    showMessage(TEXTS.postcodeDigits);
    return;
  }
  for (const id of ["firstName", "address1", "address2", "place", "phone", "email",
                    "remark"]) {
    const value = bookerValue(id);
    if (value) body[id] = value;
  }
  const { refnr, code } = state.hold;
  state.booking = true;
  $("book").disabled = true;
  $("book").textContent = TEXTS.booking;
  try {
    const answer = await api("PUT", `/api/v1/reservations/${refnr}/booker`, body, code);
    if (answer.refnr !== refnr) throw new PageError(TEXTS.serverError);
    await showBooked(refnr, code);
  } catch (failure) {
    if (failure instanceof PageError && failure.code === "already_booked") {
      // An earlier try went through and only its answer was lost.
      showMessage(failure.message, "info");
      await showBooked(refnr, code).catch(failed);
    } else {
      if (failure instanceof PageError && failure.code === "cancelled") {
        putAwayHold();
        $("hold-section").hidden = true;
      }
      failed(failure);
    }
  } finally {
    state.booking = false;
    $("book").textContent = TEXTS.book;
    if (state.hold !== null) $("book").disabled = false;
    tick();
  }
}

// The manage link keeps the code in the fragment, which a browser sends to no server and
// puts in no Referer.
function manageLink(refnr, code) {
  return `/#ref=${refnr}&code=${encodeURIComponent(code)}`;
}

async function showBooked(refnr, code) {
  stopCountdown();
  state.hold = null;
  $("hold-section").hidden = true;
  $("results-section").hidden = true;
  $("booked-refnr").textContent = String(refnr);
  $("booked-code").textContent = code;
  $("manage-link").href = manageLink(refnr, code);
  $("booked-section").hidden = false;
  $("refnr").value = String(refnr);
  $("code").value = code;
  await lookUp(refnr, code);
}

// --- look-up and cancellation ---

function statusText(answer) {
  if (answer.status === "held") {
    const ends = typeof answer.holdEnds === "string" ? new Date(answer.holdEnds) : null;
    return TEXTS.statusHeld(ends && !Number.isNaN(ends.getTime()) ? ends : null);
  }
  if (answer.status === "booked") return TEXTS.statusBooked;
  if (answer.status === "cancelled") return TEXTS.statusCancelled;
  return "";
}

async function lookUp(refnr, code) {
  let answer;
  try {
    answer = await api("GET", `/api/v1/reservations/${refnr}`, undefined, code);
  } catch (failure) {
    // A wrong code is answered as a number that does not exist (-1001): the guest checks
    // both. A booking without lines is there, and its own sentence says so.
    if (failure instanceof PageError && failure.status === 404 && failure.code === "-1001") {
      throw new PageError(TEXTS.notFound(refnr), 404, failure.code);
    }
    throw failure;
  }
  const body = document.querySelector("#booking-lines tbody");
  body.replaceChildren();
  for (const line of answer.lines || []) {
    const row = document.createElement("tr");
    for (const cell of [typeName(line.type), TEXTS.date(line.arrival),
                        TEXTS.date(line.departure), boardName(line.board), line.units,
                        line.persons, TEXTS.price(line.price)]) {
      row.append(element("td", cell));
    }
    body.append(row);
  }
  const lines = (answer.lines || []).length;
  $("booking-heading").textContent = TEXTS.bookingHeading(refnr);
  const status = statusText(answer);
  $("booking-status").textContent = status;
  $("booking-status").hidden = !status;
  $("no-lines").hidden = lines > 0;
  $("booking-lines").hidden = lines === 0;
  // A cancelled booking still lists its lines, but there is nothing left to cancel.
  $("cancel-buttons").hidden = answer.status === "cancelled";
  $("cancel-confirm").hidden = true;
  $("cancel").disabled = false;
  $("booking").hidden = false;
  state.shown = { refnr, code };
}

// Looks up the booking whose number and code stand in the form; true when it is shown.
async function lookUpFromForm() {
  clearMessage();
  const refnr = $("refnr").value.trim();
  const code = $("code").value.trim();
  if (!/^\d{1,10}$/.test(refnr) || Number(refnr) < 1) {
    showMessage(TEXTS.refnrDigits);
    return false;
  }
  if (!code) {
    showMessage(TEXTS.codeRequired);
    return false;
  }
  if (!CODE.test(code)) {
    showMessage(TEXTS.codeCharacters);
    return false;
  }
  $("lookup").disabled = true;
  try {
    await lookUp(Number(refnr), code);
    return true;
  } catch (failure) {
    $("booking").hidden = true;
    state.shown = null;
    failed(failure);
    return false;
  } finally {
    $("lookup").disabled = false;
  }
}

// Opened through a manage link: the booking is looked up at once, and the code leaves the
// address bar first, so that a screenshot or a shared screen does not show it.
async function openFromFragment() {
  const fragment = new URLSearchParams(window.location.hash.slice(1));
  if (!fragment.has("ref") && !fragment.has("code")) return;
  history.replaceState(history.state, "", window.location.pathname + window.location.search);
  $("refnr").value = fragment.get("ref") || "";
  $("code").value = fragment.get("code") || "";
  if (await lookUpFromForm()) $("booking-heading").focus();
}

async function cancelBooking() {
  const shown = state.shown;
  if (shown === null) return;
  clearMessage();
  $("cancel-yes").disabled = true;
  try {
    await api("DELETE", `/api/v1/reservations/${shown.refnr}`, undefined, shown.code);
    $("booked-section").hidden = true;
    showMessage(TEXTS.cancelled(shown.refnr), "info");
  } catch (failure) {
    failed(failure);
    if (!(failure instanceof PageError && failure.code === "already_cancelled")) return;
  } finally {
    $("cancel-yes").disabled = false;
  }
  // Show what the booking is now; the button that had the focus is gone with it.
  try {
    await lookUp(shown.refnr, shown.code);
    $("booking-heading").focus();
  } catch (failure) {
    $("booking").hidden = true;
    state.shown = null;
  }
}

function start() {
  applyTexts();
  $("arrival").value = daysFromToday(7);
  $("departure").value = daysFromToday(10);
  $("search-form").addEventListener("submit", search);
  $("booker-form").addEventListener("submit", book);
  $("release").addEventListener("click", () => {
    releaseHold();
    setHoldButtons(true);
    showMessage(TEXTS.released, "info");
  });
  $("lookup-form").addEventListener("submit", (event) => {
    event.preventDefault();
    lookUpFromForm();
  });
  $("cancel").addEventListener("click", () => {
    $("cancel").disabled = true;
    $("cancel-confirm").hidden = false;
  });
  $("cancel-yes").addEventListener("click", cancelBooking);
  // A manage link opened in this page only changes its fragment.
  window.addEventListener("hashchange", openFromFragment);
  openFromFragment();
}

document.addEventListener("DOMContentLoaded", start);
