#include "richtext/document_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>

#include "richtext/rtf.h"

namespace marlo::richtext {

namespace {

FileError failure(int code) {
  return FileError{code, systemErrorText(code)};
}

bool writeAll(int fd, const QByteArray& bytes) {
  const char* p = bytes.constData();
  qsizetype left = bytes.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, static_cast<std::size_t>(left));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= n;
  }
  return true;
}

}  // namespace

QString systemErrorText(int code) {
  char buffer[256] = {};
  // The GNU variant returns the message, which may or may not be in the buffer.
  const char* message = strerror_r(code, buffer, sizeof buffer);
  if (message == nullptr || *message == 0 || std::strncmp(message, "Unknown error", 13) == 0)
    return QStringLiteral("Unable to retrieve error message for error # %1").arg(code);
  return QString::fromLocal8Bit(message);
}

FileError readFileBytes(const QString& path, QByteArray& bytes) {
  const QByteArray name = QFile::encodeName(path);
  const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return failure(errno);
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return failure(EISDIR);
  }
  QByteArray read;
  if (st.st_size > 0) read.reserve(static_cast<qsizetype>(st.st_size));
  char chunk[65536];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int code = errno;
      ::close(fd);
      return failure(code);
    }
    read.append(chunk, n);
  }
  ::close(fd);
  bytes = std::move(read);
  return {};
}

FileError loadFile(const QString& path, QTextDocument& document) {
  QByteArray bytes;
  if (const FileError e = readFileBytes(path, bytes); e.failed()) return e;
  readDocument(bytes, document);
  return {};
}

FileError saveFile(const QString& path, const QTextDocument& document, FileFormat format) {
  return writeFileBytes(path,
                        format == FileFormat::rtf ? writeRtf(document) : writePlainText(document));
}

FileError writeFileBytes(const QString& path, const QByteArray& bytes) {
  const QByteArray name = QFile::encodeName(path);
  const QFileInfo info(path);
  // Created as any new file would be (the umask applies); an existing file's permissions are
  // carried over below.
  QByteArray temp;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    temp = QFile::encodeName(info.absolutePath() + QLatin1StringView("/.") + info.fileName() +
                             u'.' + QString::number(QRandomGenerator::global()->generate(), 36));
    fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) return failure(errno);
  }
  if (fd < 0) return failure(EEXIST);
  struct stat old {};
  const bool replacing = ::stat(name.constData(), &old) == 0;
  int code = 0;
  if ((replacing && ::fchmod(fd, old.st_mode & 07777) != 0) || !writeAll(fd, bytes) ||
      ::fsync(fd) != 0)
    code = errno;
  if (::close(fd) != 0 && code == 0) code = errno;
  if (code == 0 && ::rename(temp.constData(), name.constData()) != 0) code = errno;
  if (code != 0) {
    ::unlink(temp.constData());
    return failure(code);
  }
  return {};
}

}  // namespace marlo::richtext
