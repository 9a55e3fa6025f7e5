#pragma once

// Conversion between the wire's 8-bit Windows-1252 bytes and QString.
//
// Decoding is defined for all 256 byte values and encoding gives every decoded text back
// byte for byte. The five bytes that Windows-1252 leaves unassigned (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) decode to the control characters of the same number, as Windows does. A character
// that Windows-1252 cannot hold is encoded as '?'.

#include <QByteArray>
#include <QString>

namespace taurelin {

QString FromWindows1252(const QByteArray& bytes);
QByteArray ToWindows1252(const QString& text);

}  // namespace taurelin
