#include "protocol/request_objects.h"

#include "protocol/split_off.h"

namespace taurelin {
namespace {

const QString kSemicolon = QStringLiteral(";");
const QString kEquals = QStringLiteral("=");

// Unlinks a chain node by node; letting each node free its successor would recurse once per
// node and overflow the stack on a long request.
template <typename Node>
void FreeChain(std::unique_ptr<Node>& head) {
  while (head) head = std::move(head->next);
}

void FillRow(TAPI_DataControl& row, int number, const TAPI_Header* header, QString& data) {
  row.rowNumber = number;
  row.keyword = SplitOff(data, kSemicolon);
  if (header != nullptr && header->next) {
    row.values = std::make_unique<TAPI_Data>(data, header->next.get());
  }
}

}  // namespace

TAPI_Header::TAPI_Header(const QString& headerSection) {
  QString text = headerSection;
  SplitOff(text, kEquals);
  name = SplitOff(text, kSemicolon);
  TAPI_Header* last = this;
  while (!text.isEmpty()) {
    last->next = std::make_unique<TAPI_Header>();
    last = last->next.get();
    last->name = SplitOff(text, kSemicolon);
  }
}

TAPI_Header::~TAPI_Header() { FreeChain(next); }

TAPI_Data::TAPI_Data(QString& data, const TAPI_Header* column) {
  TAPI_Data* current = this;
  while (column != nullptr && !data.isEmpty()) {
    current->name = column->name;
    current->value = SplitOff(data, kSemicolon);
    if (column->next) {
      current->next = std::make_unique<TAPI_Data>();
      current = current->next.get();
    }
    column = column->next.get();
  }
}

TAPI_Data::~TAPI_Data() { FreeChain(next); }

TAPI_DataControl::TAPI_DataControl(int count, const TAPI_Header* header, QString& data) {
  SplitOff(data, kEquals);
  rowNumber = 0;
  TAPI_DataControl* row = this;
  for (int i = 0; i < count; ++i) {
    FillRow(*row, i, header, data);
    if (i == count - 1) break;
    row->next = std::make_unique<TAPI_DataControl>();
    row = row->next.get();
    if (data.isEmpty()) {
      // Every later row would be built from the empty text: an empty keyword that only
      // clears the reply. One such row does what all of them would, so a huge count costs
      // no memory.
      FillRow(*row, count - 1, header, data);
      break;
    }
  }
}

TAPI_DataControl::~TAPI_DataControl() { FreeChain(next); }

QString GetValue(const TAPI_Data* values, const QString& name) {
  if (values == nullptr) throw NoValuesError();
  QString result;
  for (const TAPI_Data* node = values; node != nullptr && result.isEmpty();
       node = node->next.get()) {
    if (node->name == name) result = node->value;
  }
  return result;
}

}  // namespace taurelin
