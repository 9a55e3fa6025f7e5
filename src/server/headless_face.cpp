#include "server/headless_face.h"

#include <cstdio>

namespace taurelin {

void PrintLine(const QString& text) {
  std::fprintf(stderr, "taurelin-api: %s\n", text.toUtf8().constData());
  std::fflush(stderr);
}

void HeadlessFace::showError(const QString& text) { PrintLine(QStringLiteral("error: ") + text); }

void HeadlessFace::showMessage(const QString& text) { PrintLine(text); }

void HeadlessFace::showNotice(const QString& text) { PrintLine(text); }

std::optional<QString> HeadlessFace::askValue(const QString& title, const QString& prompt,
                                              const QString& offered) {
  PrintLine(QStringLiteral("%1: no operator to ask \"%2\"; taking %3 and storing it")
                .arg(title, prompt.trimmed(), offered));
  return offered;
}

std::optional<QString> HeadlessFace::pickAlias(const QStringList& aliases) {
  if (aliases.size() == 1) {
    PrintLine(QStringLiteral("no database alias configured; taking the only one, %1, and "
                             "storing it")
                  .arg(aliases.first()));
    return aliases.first();
  }
  throw NeedsOperatorError(
      aliases.isEmpty()
          ? QStringLiteral("no database alias configured and none defined in the alias file")
          : QStringLiteral("no database alias configured; set DatabaseAlias to one of: %1")
                .arg(aliases.join(QStringLiteral(", "))));
}

void HeadlessFace::setPanel(Panel panel, const QString& text) {
  if (panel == kListenerPanel) PrintLine(text);
}

void HeadlessFace::setChannelStatus(const QString& text) {
  if (text == channelStatus_) return;
  channelStatus_ = text;
  PrintLine(text);
}

void HeadlessFace::setMailStatus(const QString& text) {
  if (text == mailStatus_) return;
  mailStatus_ = text;
  PrintLine(text);
}

}  // namespace taurelin
