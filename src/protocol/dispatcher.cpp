#include "protocol/dispatcher.h"

#include "handlers/avbestill.h"
#include "handlers/booking.h"
#include "handlers/hentbook.h"
#include "handlers/kort.h"
#include "handlers/ledig.h"
#include "handlers/ledigmatrise.h"
#include "handlers/pris.h"
#include "handlers/reserver.h"
#include "handlers/utype.h"
#include "protocol/self_description.h"
#include "protocol/time_out_step.h"

#include <initializer_list>

namespace taurelin {
namespace {

// One keyword of the protocol: its handler and the columns whose values it receives.
struct Instruction {
  QLatin1String keyword;
  std::initializer_list<QLatin1String> columns;
  InstructionHandler handler;
};

// Keywords are matched exactly and case-sensitively. An instruction is listed here once its
// handler exists; until then its keyword is answered like any unknown keyword.
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
     &HandleReserver},
    {QLatin1String("BOOKING"),
     {QLatin1String("REFNR"), QLatin1String("AGENT"), QLatin1String("BET_TYPE"),
      QLatin1String("REGISTER"), QLatin1String("ANMERKNING"), QLatin1String("EPOST"),
      QLatin1String("FAKS"), QLatin1String("TELEFON"), QLatin1String("NASJON"),
      QLatin1String("POSTSTED"), QLatin1String("POSTNR"), QLatin1String("ADRESSE1"),
      QLatin1String("ADRESSE2"), QLatin1String("FNAVN"), QLatin1String("ENAVN"),
      QLatin1String("GYLDIG_TIL"), QLatin1String("KREDITKORTNR"), QLatin1String("KREDITKORTTYPE")},
     &HandleBooking},
    {QLatin1String("HENTBOOK"), {QLatin1String("REFNR")}, &HandleHentbook},
    {QLatin1String("AVBESTILL"), {QLatin1String("REFNR")}, &HandleAvbestill},
    {QLatin1String("TEST-API"), {}, &HandleTestApi},
    {QLatin1String("OM_TN_API"), {}, &HandleOmTnApi},
};

const Instruction* FindInstruction(const QString& keyword) {
  for (const Instruction& instruction : kInstructions) {
    if (keyword == instruction.keyword) return &instruction;
  }
  return nullptr;
}

}  // namespace

QString ExecuteInstruction(const TAPI_DataControl* rows, RequestContext& context) {
  HandlerContext handlers = context.handlers;
  if (TimeOutRegister* timeOuts = context.timeOuts) {
    handlers.registerTimeOut = [timeOuts](const QString& requestRefnr, const QString& refnr,
                                          const QString& timeOut) {
      timeOuts->SetTimeOutOrThrow(requestRefnr, refnr, timeOut);
    };
  }
  QString reply;
  for (const TAPI_DataControl* row = rows; row != nullptr; row = row->next.get()) {
    const Instruction* instruction = FindInstruction(row->keyword);
    if (instruction == nullptr) {
      reply.clear();
      continue;
    }
    InstructionValues values;
    for (QLatin1String column : instruction->columns) {
      values.set(column, GetValue(row->values.get(), column));
    }
    instruction->handler(values, reply, handlers);
    KeepTimeOutRegister(row->keyword, values, reply, context.timeOuts);
  }
  return reply;
}

}  // namespace taurelin
