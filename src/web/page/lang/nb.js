// Every text of the booking page in Norwegian (bokmål), in one place. To offer another
// language, copy this file to lang/XX.js, change the name after LANGUAGES, translate the
// strings (keep the names on the left), and list the copy beside these files in the build
// and in page_assets.cpp. The server picks a language from the guest's browser languages and
// puts its plain texts (string literals, joined by + if at all) into the page as it sends it.
"use strict";

(window.LANGUAGES = window.LANGUAGES || {}).nb = (() => {
  const T = {
    lang: "nb",
    // The languages of the browser that this file serves, by their first part.
    matches: ["nb", "no", "nn"],
    locale: "nb-NO",
    languageName: "Norsk",
    languages: "Språk",
    title: "Bestill opphold",
    pageDescription:
      "Se hva som er ledig, og bestill opphold direkte: velg anlegg, datoer og antall " +
      "personer.",
    intro: "Velg anlegg, datoer og antall personer, så viser vi hva som er ledig.",
    requiredNote: "Felt merket * må fylles ut.",

    searchHeading: "Finn ledig",
    facility: "Anlegg",
    persons: "Antall personer",
    dates: "Ankomst og avreise",
    search: "Søk",
    searching: "Søker …",
    personsInvalid: "Skriv antall personer med sifre, fra 1 til 1000.",
    datesMissing: "Velg ankomst og avreise i kalenderen.",
    noFacilities: "Det er ingen anlegg å bestille i akkurat nå.",

    // The calendar. Dates are written by the browser in this file's locale.
    previousMonth: "Forrige måned",
    nextMonth: "Neste måned",
    calendarHelp:
      "Velg ankomstdag, så avreisedag. Piltastene flytter mellom dagene, Page Up og " +
      "Page Down mellom månedene, Enter velger.",
    pickArrival: "Velg ankomstdag.",
    pickDeparture: (arrival) => `Ankomst ${arrival}. Velg avreisedag.`,
    picked: (arrival, departure, nights) =>
      `Ankomst ${arrival}, avreise ${departure}: ${T.nights(nights)}.`,
    nightFull: (day) => `Ingenting er ledig natt til ${day}. Velg en annen dag.`,
    nightPast: (day) => `${day} er passert. Velg en senere dag.`,
    nightUnknown: (day) => `Vi vet ennå ikke hva som er ledig ${day}. Prøv igjen om litt.`,
    departTooLate: (day) =>
      `Ingen utleietype er ledig hver natt fram til ${day}. Velg en tidligere avreisedag.`,
    dayFree: "ledig",
    dayFull: "fullt",
    dayPast: "passert",
    dayUnknown: "ikke hentet ennå",
    dayArrival: "ankomst",
    dayDeparture: "avreise",
    dayInStay: "i oppholdet",
    legendFree: "Ledig",
    legendFull: "Fullt",
    legendChosen: "Valgt",
    nights: (count) => (count === 1 ? "1 natt" : `${count} netter`),

    resultsHeading: "Ledige utleietyper",
    resultsFor: (stay, nights, persons) =>
      `${stay}, ${T.nights(nights)}, ${persons === 1 ? "1 person" : `${persons} personer`}.`,
    noneFree: "Ingenting er ledig for disse datoene. Prøv andre datoer eller et annet anlegg.",
    free: (count) => (count === 1 ? "1 ledig" : `${count} ledige`),
    hold: "Hold av",
    // Said after "Hold av" to a screen reader, so that each button tells what it holds.
    holdWhat: (type, board) => `${type}, ${board}`,
    noPrice: "Ingen pris for disse datoene",
    typeName: (type) => `Utleietype ${type}`,
    // The business's boards by number; a board not named here is shown by its number.
    boards: {
      1: "Kun overnatting",
      2: "Overnatting med frokost",
      3: "Halvpensjon",
      4: "Helpensjon",
    },
    boardName: (board) => `Pensjon ${board}`,
    stay: (arrival, departure) => `${arrival} – ${departure}`,

    holdHeading: "Holdt av for deg",
    holdSummary: (type, board, stay, price) => `${type}, ${board}, ${stay}: ${price}`,
    holdCountdown: (minutes, seconds) =>
      `Vi holder av plassen i ${minutes}:${String(seconds).padStart(2, "0")} til. ` +
      "Fyll inn opplysningene og bestill innen tiden er ute.",
    holdLeftMinutes: (minutes) =>
      `Plassen er holdt av i ${minutes === 1 ? "1 minutt" : `${minutes} minutter`} til.`,
    holdLeftSeconds: (seconds) => `Plassen er holdt av i ${seconds} sekunder til.`,
    holdExpired: "Tiden er ute, og plassen er ikke lenger holdt av. Søk på nytt for å bestille.",
    release: "Avbryt",
    released: "Plassen er ikke lenger holdt av.",

    bookerHeading: "Opplysninger om den som bestiller",
    firstName: "Fornavn",
    surname: "Etternavn",
    address1: "Adresse",
    address2: "Adresse, linje 2",
    postcode: "Postnummer",
    place: "Poststed",
    nation: "Nasjonskode",
    phone: "Telefon",
    email: "E-post",
    remark: "Merknad",
    book: "Bestill",
    booking: "Bestiller …",
    fieldMissing: (label) => `Fyll inn ${label.toLowerCase()}.`,
    fieldInvalid: "Sjekk det som står her.",
    postcodeDigits: "Postnummeret kan bare inneholde sifre.",
    emailInvalid: "Skriv e-postadressen slik: navn@eksempel.no.",

    bookedHeading: "Takk for bestillingen",
    booked: "Bestillingen er registrert.",
    bookedAnnounce: (refnr) => `Bestillingen er registrert. Referansenummeret er ${refnr}.`,
    keepCode:
      "Ta vare på referansenummeret og bestillingskoden: med begge kan du se og avbestille " +
      "bestillingen. Lenken under åpner bestillingen direkte: ta vare på den, og del den bare " +
      "med den som skal kunne avbestille.",
    checkMail: (email) =>
      `Sjekk e-posten din: vi har sendt en lenke til ${email}. Bestillingen er registrert ` +
      "når du åpner den. Til da holder vi plassen av for deg.",
    emailRequired: "Fyll inn e-postadressen din: du fullfører bestillingen fra e-posten vi sender.",
    confirmed: (refnr) => `Takk: bestilling ${refnr} er registrert.`,
    manageLink: "Se eller avbestill denne bestillingen",

    lookupHeading: "Se eller avbestill en bestilling",
    lookupHint: "Du trenger referansenummeret og bestillingskoden. Begge fikk du da du bestilte.",
    refnr: "Referansenummer",
    code: "Bestillingskode",
    lookup: "Slå opp",
    refnrDigits: "Skriv referansenummeret med sifre.",
    codeRequired: "Skriv inn bestillingskoden du fikk sammen med bestillingen.",
    codeCharacters:
      "Bestillingskoden har bare bokstaver, sifre, - og _. Sjekk at den er skrevet riktig.",
    notFound: (refnr) =>
      `Vi finner ingen bestilling ${refnr} med denne bestillingskoden. ` +
      "Sjekk referansenummeret og koden, og prøv igjen.",
    bookingHeading: (refnr) => `Bestilling ${refnr}`,
    // What a booking is now; `ends` is when the hold ends (a Date) or null.
    statusHeld: (ends, minutesLeft) => (ends
      ? `Holdt av, men ikke bestilt ennå: holdet varer til ${T.moment(ends)} ` +
        `(${minutesLeft === 1 ? "1 minutt" : `${minutesLeft} minutter`} igjen).`
      : "Holdt av, men ikke bestilt ennå."),
    statusAwaiting: (ends) => (ends
      ? `Ikke bestilt ennå: åpne lenken i e-posten vi sendte deg, innen ${T.moment(ends)}.`
      : "Ikke bestilt ennå: åpne lenken i e-posten vi sendte deg."),
    statusBooked: "Bestilt.",
    statusCancelled: "Avbestilt.",
    moment: (date) => {
      const time = new Intl.DateTimeFormat(T.locale, { hour: "2-digit", minute: "2-digit" });
      const day = new Intl.DateTimeFormat(T.locale, { day: "numeric", month: "long" });
      const today = date.toDateString() === new Date().toDateString();
      return today ? `kl. ${time.format(date)}` : `${day.format(date)} kl. ${time.format(date)}`;
    },
    lineArrival: "Ankomst",
    lineDeparture: "Avreise",
    lineBoard: "Pensjon",
    lineUnits: "Enheter",
    linePersons: "Personer",
    linePrice: "Pris",
    noLines: "Bestillingen har ingen linjer.",
    cancel: "Avbestill",
    cancelQuestion: "Vil du avbestille? Det kan ikke angres.",
    cancelConfirm: "Ja, avbestill bestillingen",
    cancelKeep: "Nei, behold bestillingen",
    cancelled: (refnr) => `Bestilling ${refnr} er avbestilt.`,

    networkError:
      "Vi får ikke kontakt med bestillingssystemet. Sjekk nettforbindelsen og prøv igjen.",
    serverError: "Bestillingssystemet kunne ikke svare akkurat nå. Prøv igjen om litt.",
    // Any refusal without a sentence of its own below.
    refused: "Bestillingssystemet kunne ikke gjøre dette. Sjekk det du har valgt, og prøv igjen.",

    // The booking system's refusals that a guest can meet, by their code. A function gets
    // when to try again, as tryAgain() words it.
    errors: {
      invalid_stay: "Avreise må være etter ankomst.",
      span_too_long: "Kalenderen kan vise høyst ett år om gangen.",
      invalid_email: "Skriv e-postadressen slik: navn@eksempel.no.",
      invalid_field: "Noe av det som ble sendt, var ikke gyldig. Sjekk det du har fylt inn.",
      missing_field: "Noe mangler. Sjekk at alt som må fylles ut, er fylt ut.",
      guest_limit: "Du kan holde av høyst noen få enheter om gangen på nettet.",
      too_many_requests: (when) =>
        `Det har kommet svært mange forespørsler fra deg på kort tid. Prøv igjen ${when}.`,
      too_many_holds: (when) =>
        "Du holder allerede av flere plasser uten å ha bestilt. Bestill eller avbryt en av " +
        `dem, eller prøv igjen ${when}.`,
      too_many_bookings: (when) =>
        `Det er gjort mange bestillinger fra din adresse i dag. Prøv igjen ${when}.`,
      not_found: "Vi finner ikke bestillingen.",
      already_booked: "Bestillingen var allerede registrert.",
      cancelled: "Plassen er ikke lenger holdt av, fordi bestillingen er avbestilt. " +
        "Søk på nytt for å bestille.",
      already_cancelled: "Bestillingen er allerede avbestilt.",
      invalid_token: "Denne lenken fullfører ikke bestillingen: den er brukt, eller en nyere " +
        "e-post har en annen. Åpne lenken i den siste e-posten vi sendte deg.",
      not_awaiting: "Denne bestillingen venter ikke på deg: den er registrert, eller tiden " +
        "til å fullføre den har gått ut. Slå den opp nedenfor.",
      idempotency_key_reused: "Noe gikk galt med sendingen. Last siden på nytt og prøv igjen.",
      unavailable: "Bestillingssystemet kunne ikke svare akkurat nå. Prøv igjen om litt.",
      internal_error: "Bestillingssystemet kunne ikke svare akkurat nå. Prøv igjen om litt.",
      "-1001": "Vi finner ikke bestillingen.",
      "-1002": "Dette anlegget finnes ikke. Velg et annet anlegg.",
      "-1003": "Denne utleietypen finnes ikke her.",
      "-1011": "Det finnes ingen pris for disse datoene.",
      "-2063": "Vi finner ikke bestillingen.",
      "-2065": "Noen andre rakk å ta den siste ledige enheten. Søk på nytt.",
      "-2066": "Bestillingen kunne ikke registreres. Prøv igjen om litt.",
      "-xxxx": "Det finnes ingen pris for dette oppholdet. Velg andre datoer.",
    },
    // A wait in seconds, or null when the server named none.
    tryAgain: (seconds) => {
      if (seconds === null) return "om litt";
      if (seconds < 60) return seconds === 1 ? "om 1 sekund" : `om ${seconds} sekunder`;
      if (seconds < 3600) {
        const minutes = Math.ceil(seconds / 60);
        return minutes === 1 ? "om 1 minutt" : `om ${minutes} minutter`;
      }
      return `etter ${T.moment(new Date(Date.now() + seconds * 1000))}`;
    },
  };
  return T;
})();
