#pragma once

// The host's regional settings that OM_TN_API reports, in the registry's notation.
//
// When the configuration store has the group "Control Panel/International", its values are
// the regional settings and a value missing there reads as the empty text; otherwise every
// value is derived from the system locale.

#include <QString>

class QSettings;

namespace taurelin {

// `name` is one of sDate, sDecimal, sLongDate, sShortDate, sThousand; another name reads as
// the empty text. `configuration` may be null.
QString ReadRegionalValue(QSettings* configuration, const QString& name);

}  // namespace taurelin
