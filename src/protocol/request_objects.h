#pragma once

// The request objects that the parser builds from a request's header and data sections.
//
// All three are singly linked lists in which each node owns its successor; freeing the head
// frees the list. The building constructors never fail on any text: a short text gives short
// or empty rows. Destruction is iterative, so a list of any length is freed without deep
// recursion.

#include <QString>

#include <memory>
#include <stdexcept>

namespace taurelin {

// One column name of the header section.
class TAPI_Header {
 public:
  TAPI_Header() = default;
  // Builds the column list from a header section ("header=A;B;C"); the label is dropped.
  explicit TAPI_Header(const QString& headerSection);
  ~TAPI_Header();
  TAPI_Header(const TAPI_Header&) = delete;
  TAPI_Header& operator=(const TAPI_Header&) = delete;

  QString name;
  std::unique_ptr<TAPI_Header> next;
};

// One value of a data row with the name of its column.
class TAPI_Data {
 public:
  TAPI_Data() = default;
  // Builds a row's values from the front of `data`, one per column from `column` on, and
  // consumes what it read.
  TAPI_Data(QString& data, const TAPI_Header* column);
  ~TAPI_Data();
  TAPI_Data(const TAPI_Data&) = delete;
  TAPI_Data& operator=(const TAPI_Data&) = delete;

  QString name;
  QString value;
  std::unique_ptr<TAPI_Data> next;
};

// One data row: its instruction keyword and its other values.
class TAPI_DataControl {
 public:
  TAPI_DataControl() = default;
  // Builds `count` rows from a data section ("data=K;v;v;K;v;v"), consuming what they use;
  // afterwards `data` holds only the values no row took. With count <= 0 one empty row is
  // built.
  TAPI_DataControl(int count, const TAPI_Header* header, QString& data);
  ~TAPI_DataControl();
  TAPI_DataControl(const TAPI_DataControl&) = delete;
  TAPI_DataControl& operator=(const TAPI_DataControl&) = delete;

  int rowNumber = -1;  // for reference only
  QString keyword;
  std::unique_ptr<TAPI_Data> values;  // absent exactly when the header has one column
  std::unique_ptr<TAPI_DataControl> next;
};

// Thrown when a value is looked up in a row that has no values (a header of one column).
class NoValuesError : public std::runtime_error {
 public:
  NoValuesError() : std::runtime_error("the request row has no values") {}
};

// The first non-empty value of the column `name` (exact, case-sensitive) in a row's value
// list; the empty text when there is none. Throws NoValuesError when `values` is null.
QString GetValue(const TAPI_Data* values, const QString& name);

}  // namespace taurelin
