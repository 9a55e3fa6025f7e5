// Every text the booking page shows, in one place. To translate the page, copy this file,
// translate the strings (keep the names on the left) and serve the copy instead.
"use strict";

const TEXTS = {
  lang: "nb",
  locale: "nb-NO",
  title: "Bestill opphold",
  intro: "Velg anlegg, datoer og antall personer, så viser vi hva som er ledig.",

  searchHeading: "Finn ledig",
  facility: "Anlegg (nummer)",
  arrival: "Ankomst",
  departure: "Avreise",
  persons: "Antall personer",
  search: "Søk",
  searching: "Søker …",

  resultsHeading: "Ledige utleietyper",
  noneFree: "Ingenting er ledig for disse datoene. Prøv andre datoer eller et annet anlegg.",
  free: (count) => (count === 1 ? "1 ledig" : `${count} ledige`),
  hold: "Hold av",
  typeName: (type) => `Utleietype ${type}`,
  // The business's boards by number; a board not named here is shown by its number.
  boards: {
    1: "Kun overnatting",
    2: "Overnatting med frokost",
    3: "Halvpensjon",
    4: "Helpensjon",
  },
  boardName: (board) => `Pensjon ${board}`,
  price: (amount) =>
    new Intl.NumberFormat("nb-NO", { style: "currency", currency: "NOK" }).format(amount),
  date: (iso) => {
    const [y, m, d] = String(iso).split("-");
    return d && m && y ? `${d}.${m}.${y}` : String(iso);
  },
  stay: (arrival, departure) => `${arrival} – ${departure}`,

  holdHeading: "Holdt av for deg",
  holdSummary: (type, board, stay, price) => `${type}, ${board}, ${stay}: ${price}`,
  holdCountdown: (minutes, seconds) =>
    `Vi holder av plassen i ${minutes}:${String(seconds).padStart(2, "0")} til. ` +
    "Fyll inn opplysningene og bestill innen tiden er ute.",
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
  required: "Fyll inn etternavn, postnummer og nasjonskode.",
  postcodeDigits: "Postnummeret kan bare inneholde sifre.",

  bookedHeading: "Takk for bestillingen",
  booked: "Bestillingen er registrert.",
  keepCode:
    "Ta vare på referansenummeret og bestillingskoden: med begge kan du se og avbestille " +
    "bestillingen. Lenken under åpner bestillingen direkte: ta vare på den, og del den bare " +
    "med den som skal kunne avbestille.",
  manageLink: "Se eller avbestill denne bestillingen",
  alreadyBooked: "Bestillingen var allerede registrert.",
  bookingCancelled: "Plassen er ikke lenger holdt av, fordi bestillingen er avbestilt. " +
    "Søk på nytt for å bestille.",

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
  // What a booking is now; the end of a hold is a Date.
  statusHeld: (ends) => (ends
    ? `Holdt av til ${TEXTS.moment(ends)}, men ikke bestilt ennå.`
    : "Holdt av, men ikke bestilt ennå."),
  statusBooked: "Bestilt.",
  statusCancelled: "Avbestilt.",
  moment: (date) => {
    const time = new Intl.DateTimeFormat(TEXTS.locale, { hour: "2-digit", minute: "2-digit" });
    const day = new Intl.DateTimeFormat(TEXTS.locale, { day: "numeric", month: "long" });
    const today = date.toDateString() === new Date().toDateString();
    return today ? `kl. ${time.format(date)}` : `${day.format(date)} kl. ${time.format(date)}`;
  },
  lineColumns: ["Utleietype", "Ankomst", "Avreise", "Pensjon", "Enheter", "Personer", "Pris"],
  noLines: "Bestillingen har ingen linjer.",
  cancel: "Avbestill",
  cancelConfirm: "Ja, avbestill bestillingen",
  cancelQuestion: "Vil du avbestille? Det kan ikke angres.",
  cancelled: (refnr) => `Bestilling ${refnr} er avbestilt.`,
  alreadyCancelled: "Bestillingen er allerede avbestilt.",

  datesOrder: "Avreise må være etter ankomst.",
  missingSearch: "Fyll inn anlegg, ankomst, avreise og antall personer.",
  networkError:
    "Vi får ikke kontakt med bestillingssystemet. Sjekk nettforbindelsen og prøv igjen.",
  serverError: "Bestillingssystemet kunne ikke svare akkurat nå. Prøv igjen om litt.",
  refused: "Forespørselen ble avvist.",
  refusedWith: (message) => `Forespørselen ble avvist: ${message}`,

  // Too many requests: `when` is what tryAgain() makes of the server's wait.
  tooManyRequests: (when) =>
    `Det har kommet svært mange forespørsler fra deg på kort tid. Prøv igjen ${when}.`,
  tooManyHolds: (when) =>
    "Du holder allerede av flere plasser uten å ha bestilt. Bestill eller avbryt en av dem, " +
    `eller prøv igjen ${when}.`,
  tooManyBookings: (when) =>
    `Det er gjort mange bestillinger fra din adresse i dag. Prøv igjen ${when}.`,
  // A wait in seconds, or null when the server named none.
  tryAgain: (seconds) => {
    if (seconds === null) return "om litt";
    if (seconds < 60) return seconds === 1 ? "om 1 sekund" : `om ${seconds} sekunder`;
    if (seconds < 3600) {
      const minutes = Math.ceil(seconds / 60);
      return minutes === 1 ? "om 1 minutt" : `om ${minutes} minutter`;
    }
    return `etter ${TEXTS.moment(new Date(Date.now() + seconds * 1000))}`;
  },
};
