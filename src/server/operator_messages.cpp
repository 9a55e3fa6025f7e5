#include "server/operator_messages.h"

#include <cstdio>

namespace taurelin {

void StandardErrorMessages::showError(const QString& text) {
  std::fprintf(stderr, "error: %s\n", text.toLocal8Bit().constData());
}

void StandardErrorMessages::showNotice(const QString& text) { showMessage(text); }

void StandardErrorMessages::showMessage(const QString& text) {
  std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

}  // namespace taurelin
