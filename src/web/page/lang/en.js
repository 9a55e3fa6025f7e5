// Every text of the booking page in English, in one place. To offer another language, copy
// this file to lang/XX.js, change the name after LANGUAGES, translate the strings (keep the
// names on the left), and list the copy beside these files in the build and in
// page_assets.cpp. The server picks a language from the guest's browser languages and puts
// its plain texts (string literals, joined by + if at all) into the page as it sends it.
"use strict";

(window.LANGUAGES = window.LANGUAGES || {}).en = (() => {
  const T = {
    lang: "en",
    // The languages of the browser that this file serves, by their first part.
    matches: ["en"],
    locale: "en-GB",
    languageName: "English",
    languages: "Language",
    title: "Book a stay",
    pageDescription:
      "See what is free and book a stay directly: choose a place, the dates and the number " +
      "of guests.",
    intro: "Choose a place, dates and the number of guests, and we show you what is free.",
    requiredNote: "Fields marked * are required.",

    searchHeading: "Find a free stay",
    facility: "Place",
    persons: "Number of guests",
    dates: "Arrival and departure",
    search: "Search",
    searching: "Searching …",
    personsInvalid: "Write the number of guests in digits, from 1 to 1000.",
    datesMissing: "Choose the arrival and the departure in the calendar.",
    noFacilities: "There is no place to book right now.",

    // The calendar. Dates are written by the browser in this file's locale.
    previousMonth: "Previous month",
    nextMonth: "Next month",
    calendarHelp:
      "Choose the day of arrival, then the day of departure. The arrow keys move between " +
      "days, Page Up and Page Down between months, Enter chooses.",
    pickArrival: "Choose the day of arrival.",
    pickDeparture: (arrival) => `Arrival ${arrival}. Choose the day of departure.`,
    picked: (arrival, departure, nights) =>
      `Arrival ${arrival}, departure ${departure}: ${T.nights(nights)}.`,
    nightFull: (day) => `Nothing is free on the night of ${day}. Choose another day.`,
    nightPast: (day) => `${day} has passed. Choose a later day.`,
    nightUnknown: (day) => `We do not know yet what is free on ${day}. Try again shortly.`,
    departTooLate: (day) =>
      `No rental type is free every night until ${day}. Choose an earlier departure.`,
    dayFree: "free",
    dayFull: "full",
    dayPast: "passed",
    dayUnknown: "not loaded yet",
    dayArrival: "arrival",
    dayDeparture: "departure",
    dayInStay: "in your stay",
    legendFree: "Free",
    legendFull: "Full",
    legendChosen: "Chosen",
    nights: (count) => (count === 1 ? "1 night" : `${count} nights`),

    resultsHeading: "Free rental types",
    resultsFor: (stay, nights, persons) =>
      `${stay}, ${T.nights(nights)}, ${persons === 1 ? "1 guest" : `${persons} guests`}.`,
    noneFree: "Nothing is free on these dates. Try other dates or another place.",
    free: (count) => `${count} free`,
    hold: "Hold",
    // Said after "Hold" to a screen reader, so that each button tells what it holds.
    holdWhat: (type, board) => `${type}, ${board}`,
    noPrice: "No price for these dates",
    typeName: (type) => `Rental type ${type}`,
    // The business's boards by number; a board not named here is shown by its number.
    boards: {
      1: "Room only",
      2: "Bed and breakfast",
      3: "Half board",
      4: "Full board",
    },
    boardName: (board) => `Board ${board}`,
    stay: (arrival, departure) => `${arrival} – ${departure}`,

    holdHeading: "Held for you",
    holdSummary: (type, board, stay, price) => `${type}, ${board}, ${stay}: ${price}`,
    holdCountdown: (minutes, seconds) =>
      `We hold it for you for ${minutes}:${String(seconds).padStart(2, "0")} more. ` +
      "Fill in your details and book before the time is up.",
    holdLeftMinutes: (minutes) =>
      `It is held for you for ${minutes === 1 ? "1 more minute" : `${minutes} more minutes`}.`,
    holdLeftSeconds: (seconds) => `It is held for you for ${seconds} more seconds.`,
    holdExpired: "The time is up, and it is no longer held for you. Search again to book.",
    release: "Cancel",
    released: "It is no longer held for you.",

    bookerHeading: "Your details",
    firstName: "First name",
    surname: "Surname",
    address1: "Address",
    address2: "Address, line 2",
    postcode: "Postcode",
    place: "Town",
    nation: "Country code",
    phone: "Phone",
    email: "E-mail",
    remark: "Remarks",
    book: "Book",
    booking: "Booking …",
    fieldMissing: (label) => `Fill in the ${label.toLowerCase()}.`,
    fieldInvalid: "Please check what stands here.",
    postcodeDigits: "The postcode may hold digits only.",
    emailInvalid: "Write the e-mail address like this: name@example.com.",

    bookedHeading: "Thank you for your booking",
    booked: "Your booking is made.",
    bookedAnnounce: (refnr) => `Your booking is made. Its reference number is ${refnr}.`,
    keepCode:
      "Keep the reference number and the booking code: with both you can see and cancel " +
      "the booking. The link below opens the booking at once: keep it, and share it only " +
      "with someone who may cancel.",
    manageLink: "See or cancel this booking",
    // A booking that the guest finishes from the mail it is sent.
    checkMail: (email) =>
      `Check your e-mail: we have sent a link to ${email}. The booking is made when you open ` +
      "it. Until then the place is held for you.",
    emailRequired: "Fill in your e-mail address: you finish the booking from the mail we send.",
    confirmed: (refnr) => `Thank you: booking ${refnr} is made.`,

    lookupHeading: "See or cancel a booking",
    lookupHint: "You need the reference number and the booking code. You got both when you booked.",
    refnr: "Reference number",
    code: "Booking code",
    lookup: "Look up",
    refnrDigits: "Write the reference number in digits.",
    codeRequired: "Enter the booking code you got with your booking.",
    codeCharacters:
      "A booking code holds letters, digits, - and _ only. Check that it is written right.",
    notFound: (refnr) =>
      `We find no booking ${refnr} with this booking code. ` +
      "Check the reference number and the code, and try again.",
    bookingHeading: (refnr) => `Booking ${refnr}`,
    // What a booking is now; `ends` is when the hold ends (a Date) or null.
    statusHeld: (ends, minutesLeft) => (ends
      ? `Held, not booked yet: the hold lasts until ${T.moment(ends)} ` +
        `(${minutesLeft === 1 ? "1 minute" : `${minutesLeft} minutes`} left).`
      : "Held, not booked yet."),
    statusAwaiting: (ends) => (ends
      ? `Not booked yet: open the link in the mail we sent you by ${T.moment(ends)}.`
      : "Not booked yet: open the link in the mail we sent you."),
    statusBooked: "Booked.",
    statusCancelled: "Cancelled.",
    moment: (date) => {
      const time = new Intl.DateTimeFormat(T.locale, { hour: "2-digit", minute: "2-digit" });
      const day = new Intl.DateTimeFormat(T.locale, { day: "numeric", month: "long" });
      const today = date.toDateString() === new Date().toDateString();
      return today ? time.format(date) : `${day.format(date)} at ${time.format(date)}`;
    },
    lineArrival: "Arrival",
    lineDeparture: "Departure",
    lineBoard: "Board",
    lineUnits: "Units",
    linePersons: "Guests",
    linePrice: "Price",
    noLines: "The booking has no lines.",
    cancel: "Cancel the booking",
    cancelQuestion: "Do you want to cancel? It cannot be undone.",
    cancelConfirm: "Yes, cancel the booking",
    cancelKeep: "No, keep the booking",
    cancelled: (refnr) => `Booking ${refnr} is cancelled.`,

    networkError:
      "We cannot reach the booking system. Check your connection and try again.",
    serverError: "The booking system could not answer just now. Try again shortly.",
    // Any refusal without a sentence of its own below.
    refused: "The booking system could not do this. Check what you chose, and try again.",

    // The booking system's refusals that a guest can meet, by their code. A function gets
    // when to try again, as tryAgain() words it.
    errors: {
      invalid_stay: "The departure must be after the arrival.",
      span_too_long: "The calendar can show at most a year at a time.",
      invalid_email: "Write the e-mail address like this: name@example.com.",
      invalid_field: "Something that was sent was not valid. Check what you filled in.",
      missing_field: "Something is missing. Check that every required field is filled in.",
      guest_limit: "Online you can hold only a few units at a time.",
      too_many_requests: (when) =>
        `There have been very many requests from you in a short time. Try again ${when}.`,
      too_many_holds: (when) =>
        "You already hold several stays without booking them. Book or cancel one of them, " +
        `or try again ${when}.`,
      too_many_bookings: (when) =>
        `Many bookings have been made from your address today. Try again ${when}.`,
      not_found: "We cannot find the booking.",
      already_booked: "The booking was already made.",
      cancelled: "It is no longer held for you, because the booking is cancelled. " +
        "Search again to book.",
      already_cancelled: "The booking is already cancelled.",
      invalid_token: "This link does not finish the booking: it was used, or a newer mail " +
        "has another. Open the link in the latest mail we sent you.",
      not_awaiting: "This booking is not waiting for you to finish it: it is made, or the " +
        "time to finish it has run out. Look it up below.",
      idempotency_key_reused: "Something went wrong when sending. Reload the page and try again.",
      unavailable: "The booking system could not answer just now. Try again shortly.",
      internal_error: "The booking system could not answer just now. Try again shortly.",
      "-1001": "We cannot find the booking.",
      "-1002": "This place does not exist. Choose another place.",
      "-1003": "This rental type does not exist here.",
      "-1011": "There is no price for these dates.",
      "-2063": "We cannot find the booking.",
      "-2065": "Someone else just took the last free unit. Search again.",
      "-2066": "The booking could not be made. Try again shortly.",
      "-xxxx": "There is no price for this stay. Choose other dates.",
    },
    // A wait in seconds, or null when the server named none.
    tryAgain: (seconds) => {
      if (seconds === null) return "shortly";
      if (seconds < 60) return seconds === 1 ? "in 1 second" : `in ${seconds} seconds`;
      if (seconds < 3600) {
        const minutes = Math.ceil(seconds / 60);
        return minutes === 1 ? "in 1 minute" : `in ${minutes} minutes`;
      }
      return `after ${T.moment(new Date(Date.now() + seconds * 1000))}`;
    },
  };
  return T;
})();
