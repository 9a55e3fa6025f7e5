#pragma once

// The instruction dispatcher: runs each data row's handler by its keyword.

#include "protocol/request_context.h"
#include "protocol/request_objects.h"

#include <QString>

namespace taurelin {

// Runs the rows from `rows` on, in order, and returns the reply that the last row left. A row
// whose keyword names no handler (also the empty keyword) clears the reply. After RESERVER
// and BOOKING the time-out register follows the reply (KeepTimeOutRegister). A failure of a
// lookup, a handler or of reading the reply back is thrown and ends the request.
QString ExecuteInstruction(const TAPI_DataControl* rows, RequestContext& context);

}  // namespace taurelin
