#include "mail/smtp_settings.h"

#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace taurelin {
namespace {

// A password, not a document: a longer file is not a password file.
constexpr qsizetype kMaxPasswordFile = 4096;

QString ErrnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

QString ReadPasswordFile(const QString& path, QByteArray* password) {
  const QString named = QStringLiteral("the password file %1").arg(path);
  // O_NONBLOCK: a FIFO put in its place must not hang the delivery; it is refused below.
  const int fd = ::open(QFile::encodeName(path).constData(),
                        O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return named + QStringLiteral(" cannot be read: ") + ErrnoText(errno);
  struct stat info {};
  QString problem;
  if (::fstat(fd, &info) != 0) {
    problem = named + QStringLiteral(" cannot be read: ") + ErrnoText(errno);
  } else if (!S_ISREG(info.st_mode)) {
    problem = named + QStringLiteral(" is not a plain file");
  } else if ((info.st_mode & 077) != 0) {
    problem = named + QStringLiteral(" may be used by others (mode %1): make it 0600, for its "
                                     "owner alone")
                          .arg(info.st_mode & 07777, 4, 8, QLatin1Char('0'));
  } else if (info.st_size > kMaxPasswordFile) {
    problem = named + QStringLiteral(" is too long for a password file");
  } else {
    QByteArray content(static_cast<qsizetype>(info.st_size), '\0');
    qsizetype got = 0;
    while (got < content.size()) {
      const ssize_t n = ::read(fd, content.data() + got, static_cast<size_t>(content.size() - got));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += n;
    }
    content.truncate(got);
    // The password is the first line; an editor's final line break is not part of it.
    const qsizetype end = content.indexOf('\n');
    *password = end < 0 ? content : content.left(end);
    if (password->endsWith('\r')) password->chop(1);
    content.fill('\0');
    if (password->isEmpty()) problem = named + QStringLiteral(" holds no password");
  }
  ::close(fd);
  return problem;
}

}  // namespace

bool IsThisMachine(const QString& host) {
  return host == QLatin1String("127.0.0.1") || host == QLatin1String("::1") ||
         host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0;
}

QString CheckSmtpSettings(const SmtpSettings& settings, QByteArray* password) {
  password->clear();
  const QUrl& url = settings.url;
  const QString shown = url.toString(QUrl::RemoveUserInfo);
  if (!url.isValid() || url.isEmpty()) {
    return QStringLiteral("the mail server's URL \"%1\" is not a URL").arg(shown);
  }
  const QString scheme = url.scheme().toLower();
  if (scheme != QLatin1String("smtp") && scheme != QLatin1String("smtps")) {
    return QStringLiteral("the mail server's URL %1 must begin with smtp:// (STARTTLS) or "
                          "smtps:// (implicit TLS)")
        .arg(shown);
  }
  if (url.host().isEmpty()) {
    return QStringLiteral("the mail server's URL %1 names no host").arg(shown);
  }
  if (!url.userInfo().isEmpty()) {
    // A URL is shown in logs and settings; a password in it would be shown with it.
    return QStringLiteral("the mail server's URL %1 holds a user or password: set the user "
                          "apart and the password in a password file")
        .arg(shown);
  }
  // The wrong kind of TLS for the port would look like a server that never answers.
  const int port = url.port();
  if (scheme == QLatin1String("smtp") && port == 465) {
    return QStringLiteral("port 465 takes implicit TLS: the URL must begin with smtps://");
  }
  if (scheme == QLatin1String("smtps") && (port == 25 || port == 587)) {
    return QStringLiteral("port %1 takes STARTTLS: the URL must begin with smtp://").arg(port);
  }
  if (settings.timeoutSeconds < 1 || settings.timeoutSeconds > 3600) {
    return QStringLiteral("the mail time-out must be between 1 and 3600 seconds, not %1")
        .arg(settings.timeoutSeconds);
  }
  if (!settings.caFile.isEmpty() && !QFileInfo(settings.caFile).isReadable()) {
    return QStringLiteral("the CA file %1 cannot be read").arg(settings.caFile);
  }
  if (settings.user.isEmpty()) {
    if (!settings.passwordFile.isEmpty()) {
      return QStringLiteral("a password file is set but no mail user");
    }
    return {};
  }
  if (settings.passwordFile.isEmpty()) {
    return QStringLiteral("the mail user %1 has no password file").arg(settings.user);
  }
  return ReadPasswordFile(settings.passwordFile, password);
}

QString CheckSmtpSettings(const SmtpSettings& settings) {
  QByteArray password;
  QString problem = CheckSmtpSettings(settings, &password);
  password.fill('\0');
  return problem;
}

}  // namespace taurelin
