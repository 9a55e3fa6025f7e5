#include "web/booking_code.h"

#include "base/keyed_code.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <array>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace taurelin {
namespace {

constexpr qsizetype kSecretBytes = 32;

// Writes a new secret to a file of its own beside `path` and links it in under `path`: the
// link fails when another server made `path` first, and then that server's secret is read.
void MakeSecret(const QString& path) {
  std::array<quint32, kSecretBytes / 4> random{};
  QRandomGenerator::system()->fillRange(random.data(), random.size());
  const QByteArray text =
      QByteArray(reinterpret_cast<const char*>(random.data()), kSecretBytes).toHex() + '\n';
  const QByteArray target = QFile::encodeName(path);
  const QByteArray temporary = target + ".new." + QByteArray::number(::getpid());
  const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    throw BookingCodeError(QStringLiteral("the secret file %1 cannot be made: %2")
                               .arg(path, QString::fromLocal8Bit(strerror(errno))));
  }
  const bool written = ::write(fd, text.constData(), static_cast<size_t>(text.size())) ==
                           text.size() &&
                       ::fsync(fd) == 0;
  ::close(fd);
  const int linked = written ? ::link(temporary.constData(), target.constData()) : -1;
  const int linkError = errno;
  ::unlink(temporary.constData());
  if (!written || (linked != 0 && linkError != EEXIST)) {
    throw BookingCodeError(QStringLiteral("the secret file %1 cannot be made: %2")
                               .arg(path, QString::fromLocal8Bit(strerror(linkError))));
  }
}

}  // namespace

BookingCodes::BookingCodes(QByteArray secret) : secret_(std::move(secret)) {
  if (secret_.size() < 16) {
    throw BookingCodeError(QStringLiteral("the booking codes' secret is shorter than 16 bytes"));
  }
}

QString BookingCodes::codeFor(qint64 refnr) const {
  return KeyedCode("booking:" + QByteArray::number(refnr), secret_);
}

bool BookingCodes::matches(qint64 refnr, const QByteArray& code) const {
  return KeyedCodeMatches("booking:" + QByteArray::number(refnr), secret_, code);
}

QByteArray BookingCodes::LoadSecret(const QString& file, bool create) {
  if (create && !QFileInfo::exists(file)) MakeSecret(file);
  QFile in(file);
  if (!in.open(QIODevice::ReadOnly)) {
    throw BookingCodeError(QStringLiteral("the secret file %1 cannot be read: %2")
                               .arg(file, in.errorString()));
  }
  const QString line = QString::fromLatin1(in.readLine(1024)).trimmed();
  static const QRegularExpression kHex(
      QRegularExpression::anchoredPattern(QStringLiteral("(?:[0-9a-fA-F]{2}){16,64}")));
  if (!kHex.match(line).hasMatch()) {
    throw BookingCodeError(QStringLiteral("the secret file %1 does not begin with 32 to 128 "
                                          "hex digits")
                               .arg(file));
  }
  return QByteArray::fromHex(line.toLatin1());
}

}  // namespace taurelin
