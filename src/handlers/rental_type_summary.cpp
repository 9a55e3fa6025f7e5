#include "handlers/rental_type_summary.h"

#include "store/statement.h"

namespace taurelin {

QList<RentalTypeSummaryRow> SelectSummaryRows(const HandlerContext& context,
                                              const std::optional<QString>& type,
                                              std::optional<int> facility) {
  if (context.database == nullptr) {
    throw DatabaseError(QStringLiteral("no database session"), DatabaseError::Cause::kConnection);
  }
  context.database->EnsureUtleietyper();
  std::optional<double> typeNumber;
  if (type) {
    const std::optional<QVariant> number = NumericLiteral(*type);
    if (!number) return {};  // no type number equals a text that is no number
    typeNumber = number->toDouble();
  }
  QList<RentalTypeSummaryRow> rows;
  for (const RentalTypeSummaryRow& row : context.database->qryUtleietyper()) {
    if (typeNumber && row.UTYPE != *typeNumber) continue;
    if (facility && (!row.ANLEGG.isValid() || row.ANLEGG.toInt() != *facility)) continue;
    rows.append(row);
  }
  return rows;
}

}  // namespace taurelin
