#include "protocol/windows1252.h"

#include <QHash>

namespace taurelin {
namespace {

// Characters of the bytes 0x80 to 0x9F; the rest of the code page is Latin-1.
constexpr char16_t kHighControlRange[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 0x98
};

const QHash<char16_t, char>& EncodeTable() {
  static const QHash<char16_t, char> table = [] {
    QHash<char16_t, char> t;
    for (int i = 0; i < 32; ++i) t.insert(kHighControlRange[i], static_cast<char>(0x80 + i));
    return t;
  }();
  return table;
}

// Latin-1 outside 0x80 to 0x9F is its own byte.
constexpr bool IsOwnByte(char16_t c) { return c < 0x80 || (c >= 0xA0 && c <= 0xFF); }

// Writes each character's low byte and says whether any is not its own byte: one pass the
// compiler vectorises (a year's matrix is 70,000 characters); the rare others are mended after.
bool CopyLatin1Bytes(const char16_t* __restrict in, char* __restrict out, qsizetype size) {
  unsigned others = 0;  // an unsigned sum, not a bool: that form the compiler vectorises
  for (qsizetype i = 0; i < size; ++i) {
    const unsigned c = in[i];
    out[i] = static_cast<char>(c);
    others |= unsigned(c >= 0x80u) & unsigned(c - 0xA0u > 0x5Fu);
  }
  return others != 0;
}

}  // namespace

QString FromWindows1252(const QByteArray& bytes) {
  QString text(bytes.size(), Qt::Uninitialized);
  char16_t* out = reinterpret_cast<char16_t*>(text.data());
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[i]);
    out[i] = (byte >= 0x80 && byte < 0xA0) ? kHighControlRange[byte - 0x80] : char16_t{byte};
  }
  return text;
}

QByteArray ToWindows1252(const QString& text) {
  QByteArray bytes(text.size(), Qt::Uninitialized);
  char* out = bytes.data();
  const auto* in = reinterpret_cast<const char16_t*>(text.constData());
  if (!CopyLatin1Bytes(in, out, text.size())) return bytes;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (!IsOwnByte(in[i])) out[i] = EncodeTable().value(in[i], '?');
  }
  return bytes;
}

}  // namespace taurelin
