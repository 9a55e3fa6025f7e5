#pragma once

// Test support: whole requests run through the parser and the keyword table against a
// booking database with a connected session.

#include "protocol/parser.h"

#include "handlers/handler_test_fixture.h"

namespace taurelin {

class DispatchTest : public HandlerTest {
 protected:
  DispatchTest() { request_.handlers = context_; }

  QString Answer(const char* request) {
    return ProcessRequest(QString::fromUtf8(request), request_);
  }

  RequestContext request_;
};

}  // namespace taurelin
