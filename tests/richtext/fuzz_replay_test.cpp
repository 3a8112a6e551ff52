// Replays the RTF reader's saved fuzz inputs (fuzz/corpus/rtf_read/) through the same body the
// fuzzer runs, so every finding stays fixed in ordinary builds without clang.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "../../fuzz/rtf_fuzz_target.h"

TEST(RtfFuzzReplay, SavedInputsLoadAndSurviveOurWriter) {
  const QDir dir(QStringLiteral(RTF_FUZZ_CORPUS));
  const QStringList names = dir.entryList(QDir::Files, QDir::Name);
  // An empty corpus would pass while checking nothing.
  ASSERT_FALSE(names.isEmpty()) << RTF_FUZZ_CORPUS;
  for (const QString& name : names) {
    QFile f(dir.filePath(name));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name.toStdString();
    const QByteArray bytes = f.readAll();
    SCOPED_TRACE(name.toStdString());
    rtffuzz::read(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                  static_cast<std::size_t>(bytes.size()));
  }
  RecordProperty("inputs", static_cast<int>(names.size()));
}
