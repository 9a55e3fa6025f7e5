#pragma once

// Selecting rows of the rental-type summary that the session read: by rental type and by
// facility, compared as numbers ("05" selects type 5).

#include "handlers/instruction.h"
#include "store/database_session.h"

#include <QList>
#include <QString>

#include <optional>

namespace taurelin {

// The summary rows of `type` (when given) at `facility` (when given), in the summary's
// order. Throws DatabaseError when there is no summary (DatabaseSession::EnsureUtleietyper).
QList<RentalTypeSummaryRow> SelectSummaryRows(const HandlerContext& context,
                                              const std::optional<QString>& type,
                                              std::optional<int> facility);

}  // namespace taurelin
