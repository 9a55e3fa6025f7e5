#pragma once

#include <QString>

namespace taurelin {

// The request that the operator's Test command and `taurelin-api --test` run: an
// availability request for facility VG, any type and object, 8 to 14 April 2000, with a
// blank as board type.
inline QString BuiltInTestRequest() {
  return QStringLiteral(
      "messageID=asdf12345667890&count=1&header=INSTRUKSJON;ANLEGGSNR;UTYPE;UTL_OBJ;ANKOMST;"
      "AVREISE;PENSJONSTYPE&data=LEDIG;VG;*;*;2000.04.08;2000.04.14; \n");
}

}  // namespace taurelin
