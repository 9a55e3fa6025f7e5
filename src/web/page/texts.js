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
  booked: (refnr) => `Bestillingen er registrert. Referansenummeret ditt er ${refnr}.`,
  keepRefnr: "Ta vare på referansenummeret: med det kan du se og avbestille bestillingen.",

  lookupHeading: "Se eller avbestill en bestilling",
  refnr: "Referansenummer",
  lookup: "Slå opp",
  refnrDigits: "Skriv referansenummeret med sifre.",
  bookingHeading: (refnr) => `Bestilling ${refnr}`,
  lineColumns: ["Utleietype", "Ankomst", "Avreise", "Pensjon", "Enheter", "Personer", "Pris"],
  noLines: "Bestillingen har ingen linjer.",
  cancel: "Avbestill",
  cancelConfirm: "Ja, avbestill bestillingen",
  cancelQuestion: "Vil du avbestille? Det kan ikke angres.",
  cancelled: (refnr) => `Bestilling ${refnr} er avbestilt.`,

  datesOrder: "Avreise må være etter ankomst.",
  missingSearch: "Fyll inn anlegg, ankomst, avreise og antall personer.",
  networkError:
    "Vi får ikke kontakt med bestillingssystemet. Sjekk nettforbindelsen og prøv igjen.",
  serverError: "Bestillingssystemet kunne ikke svare akkurat nå. Prøv igjen om litt.",
  refused: "Forespørselen ble avvist.",
  refusedWith: (message) => `Forespørselen ble avvist: ${message}`,
};
