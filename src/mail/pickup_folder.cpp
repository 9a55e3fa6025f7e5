// DropInFolder: the message as a file that a local mail system collects from a folder.

#include "mail/mail_delivery.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace taurelin {
namespace {

// The temporary name adds a dot and eight characters to NAME.eml; both fit in 255 bytes.
constexpr qsizetype kMaxName = 200;

DeliveryOutcome Delivered(const QString& what) {
  return {DeliveryOutcome::Kind::kDelivered, what};
}

DeliveryOutcome Permanent(const QString& why) {
  return {DeliveryOutcome::Kind::kPermanent, why};
}

// A folder the system may not write is for the operator to mend, not for a retry; a full or
// failing disk may come right by itself.
DeliveryOutcome Failed(const QString& what, int error) {
  const QString why = what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
  switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
    case ENOTDIR:
    case EISDIR:
    case ELOOP:
    case ENAMETOOLONG:
      return Permanent(why);
    default:
      return {DeliveryOutcome::Kind::kTemporary, why};
  }
}

QString NameProblem(const QString& name) {
  const QByteArray encoded = QFile::encodeName(name);
  if (name.isEmpty()) return QStringLiteral("the mail has no file name");
  if (encoded.size() > kMaxName) return QStringLiteral("the mail's file name is too long");
  // The name must stay in the folder; a leading dot would hide it, as it hides our
  // temporary files, from whoever collects the mail.
  if (name.startsWith(QLatin1Char('.'))) {
    return QStringLiteral("the mail's file name \"%1\" begins with a dot").arg(name);
  }
  for (const QChar c : name) {
    if (c == QLatin1Char('/') || c.unicode() < 0x20 || c.unicode() == 0x7f) {
      return QStringLiteral("the mail's file name \"%1\" holds a slash or a control character")
          .arg(name.simplified());
    }
  }
  return {};
}

// mkdir -p, leaving errno set by the step that failed.
bool MakeFolder(const QByteArray& path) {
  if (::mkdir(path.constData(), 0750) == 0) return true;
  if (errno == EEXIST) {
    struct stat info {};
    if (::stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode)) return true;
    errno = ENOTDIR;
    return false;
  }
  if (errno != ENOENT) return false;
  const qsizetype slash = path.lastIndexOf('/');
  if (slash <= 0 || !MakeFolder(path.left(slash))) return false;
  return ::mkdir(path.constData(), 0750) == 0 || errno == EEXIST;
}

bool WriteAll(int fd, const QByteArray& bytes) {
  qsizetype done = 0;
  while (done < bytes.size()) {
    const ssize_t n =
        ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    done += n;
  }
  return true;
}

// Puts `from` in place as `to` unless `to` exists: 0, or EEXIST, or another errno.
int MoveUnlessTaken(const QByteArray& from, const QByteArray& to) {
  if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) {
    return 0;
  }
  if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
  // A file system without the no-replace rename: a hard link is as safe.
  if (::link(from.constData(), to.constData()) != 0) return errno;
  ::unlink(from.constData());
  return 0;
}

}  // namespace

DeliveryOutcome DropInFolder(const QString& folder, const QString& name,
                             const QByteArray& message) {
  if (QString problem = NameProblem(name); !problem.isEmpty()) return Permanent(problem);
  if (folder.isEmpty()) return Permanent(QStringLiteral("no pickup folder is set"));
  if (message.isEmpty()) return Permanent(QStringLiteral("the message is empty"));
  const QString where = QDir::cleanPath(QDir(folder).absolutePath());
  const QByteArray dir = QFile::encodeName(where);
  const QByteArray path = dir + '/' + QFile::encodeName(name) + ".eml";
  const QString shown = QFile::decodeName(path);

  if (::access(path.constData(), F_OK) == 0) {
    return Delivered(QStringLiteral("%1 was written before and is kept").arg(shown));
  }
  if (!MakeFolder(dir)) {
    return Failed(QStringLiteral("the pickup folder %1 cannot be made").arg(where), errno);
  }
  QByteArray temporary = dir + "/." + QFile::encodeName(name) + ".XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) {
    return Failed(QStringLiteral("no file can be made in the pickup folder %1").arg(where),
                  errno);
  }
  // Whoever collects the mail reads it through the group.
  bool written = WriteAll(fd, message) && ::fchmod(fd, 0640) == 0 && ::fsync(fd) == 0;
  int error = errno;
  if (::close(fd) != 0 && written) {
    written = false;
    error = errno;
  }
  if (!written) {
    ::unlink(temporary.constData());
    return Failed(QStringLiteral("%1 cannot be written").arg(shown), error);
  }
  error = MoveUnlessTaken(temporary, path);
  if (error == EEXIST) {
    ::unlink(temporary.constData());
    return Delivered(QStringLiteral("%1 was written before and is kept").arg(shown));
  }
  if (error != 0) {
    ::unlink(temporary.constData());
    return Failed(QStringLiteral("%1 cannot be put in place").arg(shown), error);
  }
  // The new name itself must survive a crash, not only the bytes.
  const int dirFd = ::open(dir.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return Delivered(QStringLiteral("written to %1").arg(shown));
}

}  // namespace taurelin
