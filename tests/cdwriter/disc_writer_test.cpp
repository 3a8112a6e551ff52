// The real control on stdio: pseudo-drives: images other tools read, the writing and read-back,
// the checks that keep a disc from being blanked for an image that cannot be written, and
// libburn's failures turned into "OnError" lines that always end the job.
#include "disc_writer_fixture.h"
#include "tool_run.h"

namespace cdwriter::test {
namespace {

using marlo::activex::CallError;
using marlo::activex::CallKind;

class DiscWriterTest : public DiscWriterFixture {
 protected:
  // A real LZH archive of a few hundred kilobytes, made by the program's own library tool.
  std::filesystem::path makeArchive(const std::string& name) {
    const auto data = folder_.path() / "data.bin";
    writeRandomFile(data, 300 * 1024);
    const auto archive = folder_.path() / name;
    const auto [rc, out] =
        run(std::string(UNLHA_TOOL) + " a " + shellQuoted(archive) + " " + shellQuoted(data));
    EXPECT_EQ(rc, 0) << out;
    return archive;
  }
  void useDrive(const std::string& address) { ASSERT_TRUE(put("9", Value(address))); }
};

TEST_F(DiscWriterTest, WritesAnImageThatOtherToolsReadAndTheArchiveInItTestsClean) {
  // A long name with accents: Joliet and Rock Ridge must carry it whole.
  const std::string name = "Sigurnosna kopija mapa čćžšđ s dugim imenom 2024.lzh";
  const auto archive = makeArchive(name);
  const auto target = folder_.path() / "backup.iso";
  useDrive("stdio:" + target.string());
  EXPECT_EQ(get("31").toInteger(), 1);
  ASSERT_TRUE(put("1", Value(1)) && put("2", Value(0)) && put("3", Value(0)));
  EXPECT_EQ(get("6").toText(), "WARP DRIVE");  // what libburn calls a file it writes as a disc
  const std::string image = buildImageOf(archive);
  EXPECT_GT(get("12").toInteger(), 0);
  EXPECT_EQ(get("21").toInteger(), 1);
  ASSERT_TRUE(waitIdle());
  EXPECT_EQ(get(withText(24, image)).toInteger(), 1);
  ASSERT_TRUE(waitIdle());

  EXPECT_TRUE(messages("OnError").empty()) << messages("OnError").front();
  const auto status = messages("OnStatus");
  EXPECT_TRUE(anyContains(status, "Drive found"));
  EXPECT_TRUE(anyContains(status, "no blanking"));
  EXPECT_TRUE(anyContains(status, "Verifying ..."));
  EXPECT_TRUE(anyContains(status, "matches the image"));
  EXPECT_EQ(status.back(), "Done");
  EXPECT_EQ(readFile(target).substr(0, readFile(image).size()), readFile(image));

  // Progress in MB, ending with all of it written.
  const std::vector<Recorded> all = events();
  const Recorded* last = nullptr;
  for (const Recorded& e : all) {
    if (e.name == "OnWritingProcess") last = &e;
  }
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->parameters.at(1).toInteger(), last->parameters.at(2).toInteger());
  EXPECT_EQ(last->parameters.at(0).toInteger(), 100);

  const auto [lsRc, listing] = run("xorriso -indev " + shellQuoted(target) + " -ls /Backup");
  EXPECT_EQ(lsRc, 0) << listing;
  EXPECT_NE(listing.find(name), std::string::npos) << listing;
  const auto [isoRc, joliet] = run("isoinfo -J -l -i " + shellQuoted(target));
  EXPECT_EQ(isoRc, 0);
  EXPECT_NE(joliet.find("Sigurnosna kopija"), std::string::npos) << joliet;

  const auto back = folder_.path() / "back.lzh";
  const auto [xRc, xOut] = run("xorriso -osirrox on -indev " + shellQuoted(target) + " -extract " +
                               shellQuoted("/Backup/" + name) + " " + shellQuoted(back));
  ASSERT_EQ(xRc, 0) << xOut;
  EXPECT_EQ(readFile(back), readFile(archive));
  const auto [tRc, tOut] = run(std::string(UNLHA_TOOL) + " t " + shellQuoted(back));
  EXPECT_EQ(tRc, 0) << tOut;
  const auto [zRc, zOut] = run("7z t " + shellQuoted(back));
  EXPECT_EQ(zRc, 0) << zOut;
}

TEST_F(DiscWriterTest, EveryJobEndsWithCommandDoneAndShowsBusyAtLeastOnce) {
  const auto archive = makeArchive("a.lzh");
  ASSERT_EQ(get("26(" + marlo::activex::quoteArgument(archive.string()) + ",1,\"\\Backup\\\")")
                .toInteger(),
            1);
  EXPECT_EQ(get("33").toInteger(), 0);
  EXPECT_EQ(get(withText(25, (folder_.path() / "i.iso").string())).toInteger(), 1);
  // However quickly the job ends, the next reading says busy, so a slow poller sees it.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(get("33").toInteger(), 1);
  ASSERT_TRUE(waitIdle());
  EXPECT_EQ(get("33").toInteger(), 0);
  EXPECT_EQ(events().back().name, "CommandDone");
}

TEST_F(DiscWriterTest, ASecondWriteOfTheSameImageLeavesTheFirstStanding) {
  const auto archive = makeArchive("a.lzh");
  const auto target = folder_.path() / "t.iso";
  useDrive("stdio:" + target.string());
  const std::string image = buildImageOf(archive);
  const std::string write = withText(24, image);
  get(write);
  ASSERT_TRUE(waitIdle());
  forget();
  get(write);
  ASSERT_TRUE(waitIdle());
  EXPECT_TRUE(messages("OnError").empty());
  EXPECT_TRUE(anyContains(messages("OnStatus"), "on the disc already"));
  EXPECT_FALSE(anyContains(messages("OnStatus"), "Writing"));
}

TEST_F(DiscWriterTest, ADiscThatNoLongerMatchesItsImageFailsTheReadBackAtTheFirstByteThatDiffers) {
  const auto archive = makeArchive("a.lzh");
  const auto target = folder_.path() / "t.iso";
  useDrive("stdio:" + target.string());
  const std::string image = buildImageOf(archive);
  get(withText(24, image));
  ASSERT_TRUE(waitIdle());
  ASSERT_TRUE(messages("OnError").empty()) << messages("OnError").front();

  // One byte of the disc goes bad after it was written.
  constexpr std::streamoff kDamaged = 40000;
  {
    std::fstream disc(target, std::ios::in | std::ios::out | std::ios::binary);
    disc.seekg(kDamaged);
    const char was = static_cast<char>(disc.get());
    disc.seekp(kDamaged);
    disc.put(static_cast<char>(~was));
  }
  forget();
  EXPECT_EQ(get(withText(29, image)).toInteger(), 1);
  ASSERT_TRUE(waitIdle());
  const auto errors = messages("OnError");
  ASSERT_EQ(errors.size(), 1U);
  EXPECT_EQ(errors[0], "Verifying failed: the disc differs from the image at byte 40000");
  EXPECT_FALSE(anyContains(messages("OnStatus"), "matches the image"));
}

TEST_F(DiscWriterTest, AnImageTooLargeForTheTargetIsRefusedBeforeBlankingAndWriting) {
  TinyFileSystem small(folder_.path() / "small", "size=1m");
  if (!small.mounted()) GTEST_SKIP() << "making a small file system needs root";
  const auto target = folder_.path() / "small" / "backup.iso";
  std::ofstream(target) << "the last backup";
  const auto big = folder_.path() / "big.bin";
  writeRandomFile(big, 3 * 1024 * 1024);
  useDrive("stdio:" + target.string());
  const std::string image = buildImageOf(big);

  get("21");
  ASSERT_TRUE(waitIdle());
  EXPECT_TRUE(anyContains(messages("OnError"), "does not fit"));
  EXPECT_FALSE(anyContains(messages("OnStatus"), "Blanking"));
  get(withText(24, image));
  ASSERT_TRUE(waitIdle());
  EXPECT_EQ(messages("OnError").size(), 2u);
  EXPECT_FALSE(anyContains(messages("OnStatus"), "Writing"));
  EXPECT_EQ(readFile(target), "the last backup");
}

TEST_F(DiscWriterTest, AMissingDriveGivesErrorsAndNeverStaysBusy) {
  useDrive("/dev/sr97");
  EXPECT_EQ(get("31").toInteger(), 0);
  EXPECT_TRUE(anyContains(messages("OnError"), "/dev/sr97"));
  const auto archive = makeArchive("a.lzh");
  const std::string image = buildImageOf(archive);
  get("21");
  ASSERT_TRUE(waitIdle());
  get(withText(24, image));
  ASSERT_TRUE(waitIdle());
  EXPECT_GE(messages("OnError").size(), 3u);
  EXPECT_FALSE(anyContains(messages("OnStatus"), "Done"));

  useDrive("stdio:/no/such/folder/x.iso");
  EXPECT_EQ(get("31").toInteger(), 0);
  EXPECT_TRUE(anyContains(messages("OnError"), "/no/such/folder"));
}

TEST_F(DiscWriterTest, AReadOnlyTargetGivesAnErrorAndNoSuccess) {
  const auto where = folder_.path() / "ro";
  TinyFileSystem readOnly(where, "size=8m");
  const auto target = where / "backup.iso";
  if (readOnly.mounted()) {
    std::ofstream(target) << "old";
    ASSERT_TRUE(readOnly.makeReadOnly());
  } else if (::geteuid() != 0) {
    std::filesystem::create_directories(where);
    std::ofstream(target) << "old";
    std::filesystem::permissions(target, std::filesystem::perms::owner_read);
  } else {
    GTEST_SKIP() << "root can write any file; a read-only mount needs mount rights";
  }
  const auto archive = makeArchive("a.lzh");
  useDrive("stdio:" + target.string());
  const std::string image = buildImageOf(archive);
  get(withText(24, image));
  ASSERT_TRUE(waitIdle());
  EXPECT_FALSE(messages("OnError").empty());
  EXPECT_FALSE(anyContains(messages("OnStatus"), "Done"));
  EXPECT_EQ(readFile(target), "old");
}

TEST_F(DiscWriterTest, AWriteThatRunsOutOfRoomMidwayFailsAndEnds) {
  // /dev/full claims room and then refuses every byte: the failure comes from the write itself,
  // after libburn has already called the drive idle.
  const auto archive = makeArchive("a.lzh");
  useDrive("stdio:/dev/full");
  const std::string image = buildImageOf(archive);
  get(withText(24, image));
  ASSERT_TRUE(waitIdle());
  const auto errors = messages("OnError");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors.front().find("Writing failed"), std::string::npos) << errors.front();
  EXPECT_NE(errors.front().find("No space left"), std::string::npos) << errors.front();
  EXPECT_FALSE(anyContains(messages("OnStatus"), "Done"));
  // The drive is free again for the next job.
  get(withText(24, image));
  ASSERT_TRUE(waitIdle());
  EXPECT_EQ(messages("OnError").size(), 2u);
}

TEST_F(DiscWriterTest, BadCallsAreClearErrors) {
  EXPECT_EQ(call("99", CallKind::Get).error, CallError::UnknownMember);
  EXPECT_EQ(call("26(1,1,\"b\")", CallKind::Get).error, CallError::WrongType);
  EXPECT_EQ(call("26(\"a\",\"1\",\"b\")", CallKind::Get).error, CallError::WrongType);
  EXPECT_EQ(call("24", CallKind::Get).error, CallError::WrongCount);
  EXPECT_EQ(call("33(1)", CallKind::Get).error, CallError::WrongCount);
  EXPECT_EQ(call("22", CallKind::Get).error, CallError::UnknownMember);  // no result to read
  EXPECT_TRUE(call("22", CallKind::Execute).ok());
  EXPECT_EQ(call("4", CallKind::Put, Value(2)).error, CallError::ReadOnly);
  EXPECT_EQ(call("1", CallKind::Put, Value("1")).error, CallError::WrongType);
  EXPECT_EQ(call("9", CallKind::Put, Value(5)).error, CallError::WrongType);
  EXPECT_EQ(call("13", CallKind::Put, Value(300)).error, CallError::WrongType);
  EXPECT_EQ(call("24(\"x\")", CallKind::Put, Value(1)).error, CallError::UnknownMember);
  EXPECT_EQ(call("-552", CallKind::Execute).error, CallError::None);
  EXPECT_TRUE(anyContains(messages("OnStatus"), "libburn"));
}

TEST_F(DiscWriterTest, PropertiesKeepTheirTypedValues) {
  EXPECT_TRUE(put("13", Value(1)));
  EXPECT_EQ(get("13").toInteger(), 1);
  EXPECT_TRUE(put("10", Value("MY BACKUP")));
  EXPECT_EQ(get("10").toText(), "MY BACKUP");
  EXPECT_FALSE(put("10", Value(std::string(33, 'x'))));
  EXPECT_EQ(get("15").toInteger(), 1);  // comparing after writing is on unless switched off
  EXPECT_EQ(get("12").toInteger(), 0);  // no image yet
}

TEST_F(DiscWriterTest, AFileThatIsNotThereIsNotAdded) {
  EXPECT_EQ(get("26(\"/no/such/file.lzh\",1,\"\\Backup\\\")").toInteger(), 0);
  EXPECT_TRUE(anyContains(messages("OnError"), "/no/such/file.lzh"));
  get(withText(25, (folder_.path() / "i.iso").string()));
  ASSERT_TRUE(waitIdle());
  EXPECT_TRUE(anyContains(messages("OnError"), "No files"));
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "i.iso"));
  // Blanking without an image to follow would only lose the last backup.
  get("21");
  ASSERT_TRUE(waitIdle());
  EXPECT_TRUE(anyContains(messages("OnError"), "not blanked"));
}

TEST(ImageFolderPath, SplitsOnEitherSeparator) {
  EXPECT_EQ(imageFolderPath("\\Backup\\"), std::vector<std::string>{"Backup"});
  EXPECT_EQ(imageFolderPath("/a\\b/./c"), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_TRUE(imageFolderPath("").empty());
}

}  // namespace
}  // namespace cdwriter::test
