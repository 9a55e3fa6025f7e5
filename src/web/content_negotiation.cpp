#include "web/content_negotiation.h"

#include <QList>

#include <algorithm>
#include <optional>

namespace taurelin {
namespace {

struct Choice {
  QByteArray name;  // lower case
  double weight = 1;
};

// The comma-separated choices of an Accept-* value with their weights (q=); a weight that
// is no number between 0 and 1 leaves the choice out.
QList<Choice> Choices(QByteArrayView value) {
  QList<Choice> choices;
  for (const QByteArray& item : value.toByteArray().split(',')) {
    const QList<QByteArray> parts = item.split(';');
    Choice choice{parts.first().trimmed().toLower()};
    if (choice.name.isEmpty()) continue;
    bool readable = true;
    for (qsizetype i = 1; i < parts.size(); ++i) {
      const QByteArray parameter = parts[i].trimmed().toLower();
      if (!parameter.startsWith("q=")) continue;
      choice.weight = parameter.mid(2).toDouble(&readable);
      readable = readable && choice.weight >= 0 && choice.weight <= 1;
    }
    if (readable) choices << choice;
  }
  return choices;
}

}  // namespace

bool AcceptsGzip(QByteArrayView acceptEncoding) {
  std::optional<double> named;
  std::optional<double> any;
  for (const Choice& choice : Choices(acceptEncoding)) {
    if (choice.name == "gzip" || choice.name == "x-gzip") named = choice.weight;
    if (choice.name == "*") any = choice.weight;
  }
  return named.value_or(any.value_or(0)) > 0;
}

QStringList AcceptedLanguages(QByteArrayView acceptLanguage) {
  QList<Choice> choices = Choices(acceptLanguage);
  std::stable_sort(choices.begin(), choices.end(),
                   [](const Choice& a, const Choice& b) { return a.weight > b.weight; });
  QStringList languages;
  for (const Choice& choice : choices) {
    if (choice.weight <= 0 || choice.name == "*") continue;
    const QString primary = QString::fromLatin1(choice.name.split('-').first());
    if (!languages.contains(primary)) languages << primary;
  }
  return languages;
}

bool NoneMatchNames(QByteArrayView ifNoneMatch, QByteArrayView etag) {
  for (QByteArray tag : ifNoneMatch.toByteArray().split(',')) {
    tag = tag.trimmed();
    if (tag == "*") return true;
    if (tag.startsWith("W/")) tag = tag.mid(2);
    if (tag == etag) return true;
  }
  return false;
}

}  // namespace taurelin
