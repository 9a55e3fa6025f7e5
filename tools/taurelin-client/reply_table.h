#pragma once

#include <QString>

namespace taurelin {

// An answer ("messageID=..&count=N&header=A;B&data=..[&errorcode=..&errormessage=..]") as a
// text table: the header, one line per row with aligned columns, then the error if any.
QString FormatReplyTable(const QString& answer);

}  // namespace taurelin
