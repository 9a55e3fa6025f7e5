#pragma once

// The rows of the occupancy statements turned into the engine's structs. Both readers of
// these statements (the SQLite procedure and the data module) use these, with a row type
// that offers integer(name), date(name) and text(name).

#include "store/occupancy_engine.h"

namespace taurelin::occupancy_rows {

template <typename Row>
OccupancyLayoutRow Layout(Row& r) {
  return OccupancyLayoutRow{r.integer("ANLEGG"), r.integer("UTYPE")};
}

template <typename Row>
int Facility(Row& r) {
  return r.integer("ANLEGGSNR");
}

template <typename Row>
OccupiedLine Occupied(Row& r) {
  OccupiedLine line;
  line.facility = r.integer("ANLEGG");
  line.type = r.integer("UTYPE");
  line.arrival = r.date("ANKOMST");
  line.departure = r.date("AVREISE");
  line.units = r.integer64("ANTALL");
  return line;
}

// A row of the counted days: the day's units as a line of that day alone.
template <typename Row>
OccupiedLine CountedDay(Row& r) {
  OccupiedLine line;
  line.facility = r.integer("ANLEGG");
  line.type = r.integer("UTYPE");
  line.arrival = QDate::fromJulianDay(r.integer64("DATO"));
  line.departure = line.arrival.addDays(1);
  line.units = r.integer64("ANTALL");
  return line;
}

template <typename Row>
AllotmentLine Allotment(Row& r) {
  AllotmentLine line;
  line.agent = r.integer("AKODE");
  line.facility = r.integer("ANLEGGSNR");
  line.kind = r.text("ALLOTTYPE");
  line.units = r.integer("ANTALL");
  line.daysBefore = r.integer("DAGER_FOER");
  line.from = r.date("FRA");
  line.to = r.date("TIL");
  line.type = r.integer("UTYPE");
  return line;
}

template <typename Row>
UsedAllotment Used(Row& r) {
  UsedAllotment use;
  use.date = r.date("DATO");
  use.facility = r.integer("ANLEGG");
  use.units = r.integer("ANTALL");
  use.type = r.integer("UTYPE");
  use.kind = r.text("ALLOTTYPE");
  use.daysBefore = r.integer("DAGER_FOER");
  use.from = r.date("FRA");
  use.agent = r.integer("AKODE");
  return use;
}

}  // namespace taurelin::occupancy_rows
