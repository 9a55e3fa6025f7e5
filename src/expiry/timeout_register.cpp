#include "expiry/timeout_register.h"

#include "base/integer_text.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <utility>

namespace taurelin {

const QString TimeOutRegister::kFileName = QStringLiteral("TimeOut.API");
const QString TimeOutRegister::kExpiryFormat = TimeOutRecord::ExpiryFormat();

namespace {

// The register file opened under its lock, with its whole records read (each decoded only
// when asked for), and with `examine` what is damaged in it described. Closing the file and
// releasing the lock happen on destruction, whatever ended the operation.
class OpenRegister {
 public:
  enum class Examine { kNo, kYes };

  OpenRegister(const QString& path, TimeOutRegisterLock& lock, Examine examine = Examine::kNo)
      : lock_(lock), file_(path) {
    // Unbuffered, so that each record goes to the file in one write call.
    if (!file_.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) fail("open");
    bytes_ = file_.readAll();
    if (file_.error() != QFileDevice::NoError) fail("read");
    const qsizetype whole = bytes_.size() / TimeOutRecord::kSize * TimeOutRecord::kSize;
    if (examine == Examine::kYes) {
      for (qsizetype i = 0; i < whole / TimeOutRecord::kSize; ++i) {
        for (const QString& damage : TimeOutRecord::Damage(bytesOf(i))) {
          damage_ << QStringLiteral("%1 record %2 (reservation \"%3\"): %4")
                         .arg(path)
                         .arg(i)
                         .arg(record(i).refnr, damage);
        }
      }
      if (whole < bytes_.size()) {
        damage_ << QStringLiteral("%1: the last %2 bytes are no whole record (a write cut "
                                  "short); the next entry written at the end replaces them")
                       .arg(path)
                       .arg(bytes_.size() - whole);
      }
    }
    trailing_ = bytes_.size() - whole;
    bytes_.truncate(whole);
  }

  std::vector<TimeOutRecord> records() const {
    std::vector<TimeOutRecord> all;
    all.reserve(static_cast<size_t>(count()));
    for (qsizetype i = 0; i < count(); ++i) all.push_back(record(i));
    return all;
  }
  TimeOutRecord record(qsizetype index) const { return TimeOutRecord::Decode(bytesOf(index)); }
  const QStringList& damage() const { return damage_; }
  // Whether record `index` is still `record`.
  bool holds(qsizetype index, const TimeOutRecord& record) const {
    return index < count() && this->record(index) == record;
  }
  qsizetype count() const { return bytes_.size() / TimeOutRecord::kSize; }
  // How many bytes after the last whole record the file holds: a piece of none.
  qsizetype trailing() const { return trailing_; }
  // Record `index` as it lies in the file.
  QByteArrayView bytesOf(qsizetype index) const {
    return QByteArrayView(bytes_).sliced(index * TimeOutRecord::kSize, TimeOutRecord::kSize);
  }

  // The index of the first record holding this reservation number (the empty text: the
  // first free record); count() when there is none.
  qsizetype find(const QString& refnr) const {
    for (qsizetype i = 0; i < count(); ++i) {
      if (TimeOutRecord::HoldsRefnr(bytesOf(i), refnr)) return i;
    }
    return count();
  }

  // Replaces record `index`, or appends when it is count().
  void write(qsizetype index, const TimeOutRecord& record) {
    const QByteArray bytes = record.encode();
    if (!file_.seek(index * TimeOutRecord::kSize) || file_.write(bytes) != bytes.size()) {
      fail("write");
    }
    if (index == count()) {
      bytes_.append(bytes);
    } else {
      bytes_.replace(index * TimeOutRecord::kSize, TimeOutRecord::kSize, bytes);
    }
  }

 private:
  [[noreturn]] void fail(const char* what) const {
    throw TimeOutRegisterError(QStringLiteral("cannot %1 %2: %3")
                                   .arg(QLatin1String(what), file_.fileName(),
                                        file_.errorString()));
  }

  std::lock_guard<TimeOutRegisterLock> lock_;
  QFile file_;
  QByteArray bytes_;  // the whole records, as in the file
  qsizetype trailing_ = 0;
  QStringList damage_;
};

// Replaces the file at `path` by one holding `bytes`, with its permissions and owner: writes
// and syncs `path` + ".compacting", renames it over `path` and syncs the directory. The
// caller holds the register's lock, which is what the temporary name belongs to. Throws
// TimeOutRegisterError, leaving `path` as it was and no temporary file behind.
void ReplaceFile(const QString& path, const QByteArray& bytes) {
  const QString temporary = path + QStringLiteral(".compacting");
  QFile out(temporary);
  const auto fail = [&](const QString& what, const QString& why) {
    out.close();
    QFile::remove(temporary);
    throw TimeOutRegisterError(
        QStringLiteral("%1 not compacted: cannot %2 %3: %4").arg(path, what, temporary, why));
  };
  const auto lastError = [] { return QString::fromLocal8Bit(std::strerror(errno)); };
  struct stat old {};
  if (::stat(QFile::encodeName(path).constData(), &old) != 0) {
    throw TimeOutRegisterError(QStringLiteral("%1 not compacted: cannot read its permissions: %2")
                                   .arg(path, lastError()));
  }
  // One left by a compaction that was cut short; never followed if it is a link.
  QFile::remove(temporary);
  if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered)) {
    fail(QStringLiteral("create"), out.errorString());
  }
  struct stat made {};
  if (::fstat(out.handle(), &made) != 0 ||
      ((made.st_uid != old.st_uid || made.st_gid != old.st_gid) &&
       ::fchown(out.handle(), old.st_uid, old.st_gid) != 0) ||
      ::fchmod(out.handle(), old.st_mode & 07777) != 0) {
    fail(QStringLiteral("give the old file's owner and permissions to"), lastError());
  }
  if (out.write(bytes) != bytes.size()) fail(QStringLiteral("write"), out.errorString());
  if (::fsync(out.handle()) != 0) fail(QStringLiteral("sync"), lastError());
  out.close();
  if (std::rename(QFile::encodeName(temporary).constData(),
                  QFile::encodeName(path).constData()) != 0) {
    fail(QStringLiteral("rename over the register"), lastError());
  }
  // The new name lasts through a power failure once the directory is synced too. The
  // replacement is done: a directory that cannot be synced is no reason to undo it.
  const QByteArray directory = QFile::encodeName(QFileInfo(path).absolutePath());
  const int handle = ::open(directory.constData(), O_RDONLY | O_DIRECTORY);
  if (handle >= 0) {
    ::fsync(handle);
    ::close(handle);
  }
}

}  // namespace

TimeOutRegister::TimeOutRegister(QString directory)
    : directory_(std::move(directory)), lock_(filePath() + QStringLiteral(".lock")) {}

void TimeOutRegister::log(const QString& line) const {
  if (log_) log_(line);
}

QString TimeOutRegister::filePath() const {
  return directory_.isEmpty() ? kFileName : QDir(directory_).filePath(kFileName);
}

void TimeOutRegister::alert(const QStringList& damage) const {
  for (const QString& line : damage) {
    if (alert_) {
      alert_(line);
    } else {
      log(line);
    }
  }
}

bool TimeOutRegister::SetTimeOut(const QString& requestRefnr, const QString& refnr,
                                 const QString& timeOut) {
  try {
    return SetTimeOutOrThrow(requestRefnr, refnr, timeOut);
  } catch (const TimeOutRegisterError& error) {
    log(QStringLiteral("Time-out of reservation %1 not registered : %2")
            .arg(refnr, QString::fromUtf8(error.what())));
    return false;
  }
}

bool TimeOutRegister::SetTimeOutOrThrow(const QString& requestRefnr, const QString& refnr,
                                        const QString& timeOut) {
  if (refnr == u"ERROR") return false;
  // A longer number would be cut, and the cut number could match another reservation's
  // entry; so it is not registered at all, and the log says that it will not expire.
  if (refnr.size() > TimeOutRecord::kRefnrRoom) {
    log(QStringLiteral("Time-out not registered : reservation number %1 is longer than %2 "
                       "characters; the reservation will not expire")
            .arg(refnr)
            .arg(TimeOutRecord::kRefnrRoom));
    return false;
  }
  const std::optional<int> seconds = ToInteger(timeOut);
  if (!seconds) return false;
  const bool isNew = requestRefnr == u"*";
  OpenRegister file(filePath(), lock_);
  qsizetype index = file.find(refnr);
  if (isNew && index == file.count()) index = file.find(QString());
  if (!isNew && index == file.count()) return true;
  TimeOutRecord record;
  if (*seconds > 0) {
    record = {refnr, clock_().addSecs(*seconds).toString(kExpiryFormat), timeOut};
  }
  file.write(index, record);
  return true;
}

int TimeOutRegister::sweep(const Cancel& cancel) {
  std::vector<std::pair<qsizetype, TimeOutRecord>> due;
  {
    const OpenRegister file(filePath(), lock_, OpenRegister::Examine::kYes);
    alert(file.damage());
    const QString now = clock_().toString(kExpiryFormat);
    for (qsizetype i = 0; i < file.count(); ++i) {
      const TimeOutRecord record = file.record(i);
      if (record.isFree()) continue;
      // Strictly before: an entry that expires in this very second is not due yet.
      if (record.hasReadableExpiry() && !(record.expiry < now)) continue;
      due.emplace_back(i, record);
    }
  }
  int expired = 0;
  for (const auto& [index, record] : due) {
    // Another instance may have freed or renewed it since, or moved it by a compaction.
    if (!OpenRegister(filePath(), lock_).holds(index, record)) continue;
    ++expired;
    if (!cancel(record.refnr)) continue;
    OpenRegister file(filePath(), lock_);
    if (file.holds(index, record)) file.write(index, TimeOutRecord());
  }
  return expired;
}

void TimeOutRegister::check() const {
  if (QFile::exists(filePath())) {
    alert(OpenRegister(filePath(), lock_, OpenRegister::Examine::kYes).damage());
  }
}

bool TimeOutRegister::compact() {
  const QString path = filePath();
  if (!QFile::exists(path)) return false;
  const OpenRegister file(path, lock_);
  QByteArray kept;
  for (qsizetype i = 0; i < file.count(); ++i) {
    if (!TimeOutRecord::HoldsRefnr(file.bytesOf(i), QString())) kept.append(file.bytesOf(i));
  }
  const qsizetype inUse = kept.size() / TimeOutRecord::kSize;
  if (file.count() <= kCompactionFloor || 2 * inUse >= file.count()) return false;
  // Still under the lock: no other instance reads or writes until the new file is in place,
  // and each one opens the file by its name anew for every operation. A register that is a
  // symbolic link stays one: the file it names is replaced.
  const QFileInfo info(path);
  ReplaceFile(info.isSymLink() ? info.canonicalFilePath() : path, kept);
  QString line = QStringLiteral("%1 compacted: %2 records, %3 in use")
                     .arg(path)
                     .arg(file.count())
                     .arg(inUse);
  if (file.trailing() > 0) {
    line += QStringLiteral("; the last %1 bytes, no whole record, dropped").arg(file.trailing());
  }
  log(line);
  return true;
}

std::vector<TimeOutRecord> TimeOutRegister::entries() const {
  if (!QFile::exists(filePath())) return {};
  return OpenRegister(filePath(), lock_).records();
}

std::optional<QDateTime> TimeOutRegister::expiryOf(const QString& refnr) const {
  for (const TimeOutRecord& record : entries()) {
    if (record.refnr != refnr || !record.hasReadableExpiry()) continue;
    return QDateTime::fromString(record.expiry, TimeOutRecord::ExpiryFormat());
  }
  return std::nullopt;
}

}  // namespace taurelin
