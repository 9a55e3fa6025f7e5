#include "protocol/instruction_table.h"

#include "handlers/anlegg.h"
#include "handlers/avbestill.h"
#include "handlers/bekreft.h"
#include "handlers/booking.h"
#include "handlers/hentbook.h"
#include "handlers/kort.h"
#include "handlers/ledig.h"
#include "handlers/ledigmatrise.h"
#include "handlers/pris.h"
#include "handlers/reserver.h"
#include "handlers/utype.h"
#include "protocol/self_description.h"

namespace taurelin {
namespace {

using TimeOut = Instruction::TimeOut;

// An instruction is listed here once its handler exists; until then its keyword is
// answered like any unknown keyword.
const Instruction kInstructions[] = {
    {QLatin1String("PRIS"),
     {QLatin1String("ANLEGGSNR"), QLatin1String("UTYPE"), QLatin1String("UTL_OBJ")},
     &HandlePris},
    {QLatin1String("KORT"), {QLatin1String("ANLEGGSNR")}, &HandleKort},
    {QLatin1String("UTYPE"), {QLatin1String("ANLEGGSNR")}, &HandleUtype},
    {QLatin1String("LEDIG"),
     {QLatin1String("ANLEGGSNR"), QLatin1String("UTYPE"), QLatin1String("UTL_OBJ"),
      QLatin1String("PENSJONSTYPE"), QLatin1String("ANKOMST"), QLatin1String("AVREISE")},
     &HandleLedig},
    {QLatin1String("LEDIGMATRISE"),
     {QLatin1String("ANLEGGSNR"), QLatin1String("UTYPE"), QLatin1String("UTL_OBJ"),
      QLatin1String("AGENT"), QLatin1String("FRA"), QLatin1String("TIL")},
     &HandleLedigmatrise},
    {QLatin1String("RESERVER"),
     {QLatin1String("ANLEGGSNR"), QLatin1String("UTYPE"), QLatin1String("UTL_OBJ"),
      QLatin1String("ANKOMST"), QLatin1String("AVREISE"), QLatin1String("PENSJONSTYPE"),
      QLatin1String("ANTALL"), QLatin1String("ANT_PERSONER"), QLatin1String("AGENT"),
      QLatin1String("PRIS"), QLatin1String("REFNR"), QLatin1String("TIMEOUT")},
     &HandleReserver, TimeOut::kRegistersHold},
    {QLatin1String("BOOKING"),
     {QLatin1String("REFNR"), QLatin1String("AGENT"), QLatin1String("BET_TYPE"),
      QLatin1String("REGISTER"), QLatin1String("ANMERKNING"), QLatin1String("EPOST"),
      QLatin1String("FAKS"), QLatin1String("TELEFON"), QLatin1String("NASJON"),
      QLatin1String("POSTSTED"), QLatin1String("POSTNR"), QLatin1String("ADRESSE1"),
      QLatin1String("ADRESSE2"), QLatin1String("FNAVN"), QLatin1String("ENAVN"),
      QLatin1String("GYLDIG_TIL"), QLatin1String("KREDITKORTNR"),
      QLatin1String("KREDITKORTTYPE")},
     &HandleBooking, TimeOut::kEndsHold},
    {QLatin1String("HENTBOOK"), {QLatin1String("REFNR")}, &HandleHentbook},
    {QLatin1String("AVBESTILL"), {QLatin1String("REFNR")}, &HandleAvbestill},
    {QLatin1String("TEST-API"), {}, &HandleTestApi},
    // The host's regional settings are a question of its own, not one of the booking API's.
    {QLatin1String("OM_TN_API"), {}, &HandleOmTnApi, TimeOut::kNone, false},
    // The facilities by name, for a guest's booking page.
    {QLatin1String("ANLEGG"), {}, &HandleAnlegg, TimeOut::kNone, false, true},
    // A guest's confirmation of a booking from its mail.
    {QLatin1String("BEKREFT"), {QLatin1String("REFNR"), QLatin1String("NOKKEL")},
     &HandleBekreft, TimeOut::kEndsHold, false, true},
};

}  // namespace

std::span<const Instruction> Instructions() { return kInstructions; }

const Instruction* FindWebInstruction(const QString& keyword) {
  for (const Instruction& instruction : kInstructions) {
    if (keyword == instruction.keyword) return &instruction;
  }
  return nullptr;
}

const Instruction* FindInstruction(const QString& keyword) {
  const Instruction* instruction = FindWebInstruction(keyword);
  return instruction != nullptr && !instruction->webOnly ? instruction : nullptr;
}

}  // namespace taurelin
