// Documents as files: what a failed load or save leaves behind, and what a save keeps.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <csignal>

#include "richtext/document_file.h"
#include "richtext/rtf.h"

using namespace marlo::richtext;

namespace {

QByteArray contents(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void put(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes);
}

QStringList entries(const QString& dir) {
  return QDir(dir).entryList(QDir::Files | QDir::Hidden);
}

}  // namespace

TEST(DocumentFile, SavedAndLoadedAsRtfOrPlainText) {
  QTemporaryDir dir;
  QTextDocument doc;
  QTextCursor c(&doc);
  QTextCharFormat bold;
  bold.setFontWeight(QFont::Bold);
  c.insertText(QStringLiteral("Čvor "), QTextCharFormat());
  c.insertText(QStringLiteral("bold"), bold);

  const QString rtf = dir.filePath(QStringLiteral("a.RTF"));
  const QString txt = dir.filePath(QStringLiteral("a.TXT"));
  EXPECT_FALSE(saveFile(rtf, doc, FileFormat::rtf).failed());
  EXPECT_FALSE(saveFile(txt, doc, FileFormat::plainText).failed());
  EXPECT_TRUE(isRtf(contents(rtf)));
  EXPECT_EQ(contents(txt), QByteArray("\xC4\x8Cvor bold"));
  // Nothing but the two files: no temporary file stays behind.
  EXPECT_EQ(entries(dir.path()), QStringList({u"a.RTF"_qs, u"a.TXT"_qs}));

  QTextDocument back;
  EXPECT_FALSE(loadFile(rtf, back).failed());
  EXPECT_EQ(back.toPlainText(), u"Čvor bold"_qs);
  QTextCursor end(&back);
  end.movePosition(QTextCursor::End);
  EXPECT_EQ(end.charFormat().fontWeight(), QFont::Bold);
  EXPECT_FALSE(back.isModified());

  // The content decides, not the name: a .TXT that holds RTF loads as RTF.
  put(txt, "{\\rtf1 {\\b rich} text}");
  EXPECT_FALSE(loadFile(txt, back).failed());
  EXPECT_EQ(back.toPlainText(), u"rich text"_qs);
}

TEST(DocumentFile, AFileThatCannotBeReadLeavesTheDocumentAsItWas) {
  QTemporaryDir dir;
  QTextDocument doc;
  doc.setPlainText(QStringLiteral("kept"));
  FileError e = loadFile(dir.filePath(QStringLiteral("missing.rtf")), doc);
  EXPECT_EQ(e.code, ENOENT);
  EXPECT_EQ(e.text, u"No such file or directory"_qs);
  e = loadFile(dir.path(), doc);
  EXPECT_EQ(e.code, EISDIR);
  EXPECT_EQ(doc.toPlainText(), u"kept"_qs);
  EXPECT_EQ(systemErrorText(99999), u"Unable to retrieve error message for error # 99999"_qs);
}

TEST(DocumentFile, AFailedSaveKeepsTheOldFileAndLeavesNoTemporary) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("log.rtf"));
  put(path, "old contents");
  ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
  QTextDocument doc;
  doc.setPlainText(QString(100000, u'x'));

  // The file size limit stops the write part way, as a full disc would.
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 1000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const FileError e = saveFile(path, doc, FileFormat::rtf);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_EQ(e.code, EFBIG);
  EXPECT_FALSE(e.text.isEmpty());
  EXPECT_EQ(contents(path), QByteArray("old contents"));
  EXPECT_EQ(entries(dir.path()), QStringList({u"log.rtf"_qs}));

  // A save that succeeds replaces the file and keeps its permissions.
  EXPECT_FALSE(saveFile(path, doc, FileFormat::plainText).failed());
  EXPECT_EQ(contents(path).size(), 100000);
  struct stat st {};
  ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  // A folder that does not exist: an error, and nothing written anywhere.
  EXPECT_EQ(saveFile(dir.filePath(QStringLiteral("no/such.rtf")), doc, FileFormat::rtf).code,
            ENOENT);
  EXPECT_EQ(entries(dir.path()), QStringList({u"log.rtf"_qs}));
}
