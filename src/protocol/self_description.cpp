#include "protocol/self_description.h"

#include "protocol/regional_settings.h"

#include <QStringList>

namespace taurelin {

void HandleTestApi(const InstructionValues&, QString& reply, HandlerContext&) {
  // The description is fixed text, version included; clients compare it as it stands.
  static const char* const kOffered[] = {"PRIS",         "KORT",     "UTYPE",
                                         "LEDIG",        "LEDIGMATRISE", "RESERVER",
                                         "BOOKING",      "HENTBOOK", "AVBESTILL",
                                         "TEST-API"};
  QStringList rows;
  for (const char* keyword : kOffered) {
    rows << QStringLiteral("TEST-API;Taurelin 5.2.x API;Vindrelok AS;1.8.0.0;") +
                QLatin1String(keyword);
  }
  reply = QStringLiteral("&count=%1").arg(rows.size()) +
          QStringLiteral("&header=INSTRUKSJON;SYSTEM;PRODUSENT;VERSJON;API-INSTRUKSJON") +
          QStringLiteral("&data=") + rows.join(u';');
}

void HandleOmTnApi(const InstructionValues&, QString& reply, HandlerContext& context) {
  static const char* const kNames[] = {"sDate", "sDecimal", "sLongDate", "sShortDate",
                                       "sThousand"};
  QString data = QStringLiteral("&data=");
  for (const char* name : kNames) {
    data += QStringLiteral("OM_TN_API;HKEY_CURRENT_USER\\Control Panel\\International;") +
            QLatin1String(name) + u';' +
            ReadRegionalValue(context.configuration, QLatin1String(name)) + u';';
  }
  reply = QStringLiteral("&count=5") + QStringLiteral("&header=INSTRUKSJON;NØKKEL;VERDI;Data") +
          data;
}

}  // namespace taurelin
