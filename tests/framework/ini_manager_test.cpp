#include "framework/ini_manager.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/storage/profile.h"
#include "scripted_interface.h"

namespace marlo {
namespace {

class FakeWindow : public WindowPlacement {
 public:
  bool minimized() const override { return isMinimized; }
  bool maximized() const override { return isMaximized; }
  bool resizable() const override { return isResizable; }
  Geometry geometry() const override { return place; }
  void setGeometry(const Geometry& g) override {
    place = g;
    calls.push_back(isMaximized ? "geometry while maximised" : "geometry");
  }
  void setMaximized(bool m) override {
    isMaximized = m;
    calls.push_back(m ? "maximise" : "normal");
  }

  bool isMinimized = false;
  bool isMaximized = false;
  bool isResizable = true;
  Geometry place{10, 20, 300, 200};
  std::vector<std::string> calls;
};

class IniManagerTest : public test::FrameworkTest {
 protected:
  void SetUp() override {
    test::FrameworkTest::SetUp();
    ini.init("cd_rw.ini");
  }
  std::string stored(const char* section, const char* key) {
    return readProfileString(section, key, "<none>", "cd_rw.ini");
  }
  IniManager ini;
};

TEST_F(IniManagerTest, ABareNameLivesInTheUserConfigurationFolder) {
  ini.update("pokazi", "XPos", "5");
  EXPECT_TRUE(std::filesystem::exists(dir / "marlo-backup" / "cd_rw.ini"));
  EXPECT_EQ(ini.fetch("pokazi", "XPos"), "5");
  EXPECT_EQ(ini.fetch("pokazi", "missing"), "");
}

// --- window state -----------------------------------------------------------------------------

TEST_F(IniManagerTest, ANormalWindowSavesItsPlaceAndSize) {
  FakeWindow window;
  ini.updateWindow("pokazi", window);
  EXPECT_EQ(stored("pokazi", "Maximize"), "No");
  EXPECT_EQ(stored("pokazi", "XPos"), "10");
  EXPECT_EQ(stored("pokazi", "YPos"), "20");
  EXPECT_EQ(stored("pokazi", "Width"), "300");
  EXPECT_EQ(stored("pokazi", "Height"), "200");

  FakeWindow fixedSize;
  fixedSize.isResizable = false;
  ini.updateWindow("Pis_cd", fixedSize);
  EXPECT_EQ(stored("Pis_cd", "XPos"), "10");
  EXPECT_EQ(stored("Pis_cd", "Width"), "<none>");
}

TEST_F(IniManagerTest, AMinimisedWindowWritesNothing) {
  FakeWindow window;
  ini.updateWindow("pokazi", window);
  window.isMinimized = true;
  window.place = {99, 99, 99, 99};
  ini.updateWindow("pokazi", window);
  EXPECT_EQ(stored("pokazi", "XPos"), "10");
  EXPECT_EQ(stored("rest", "Maximize"), "<none>");
  ini.updateWindow("rest", window);
  EXPECT_EQ(stored("rest", "Maximize"), "<none>");
}

TEST_F(IniManagerTest, AMaximisedWindowKeepsTheNormalPlaceAndReopensThere) {
  FakeWindow window;
  ini.updateWindow("pokazi", window);  // closed normal at 10,20 300x200
  window.isMaximized = true;
  window.place = {0, 0, 1024, 768};
  ini.updateWindow("pokazi", window);
  EXPECT_EQ(stored("pokazi", "Maximize"), "Yes");
  EXPECT_EQ(stored("pokazi", "XPos"), "10");
  EXPECT_EQ(stored("pokazi", "Width"), "300");

  FakeWindow reopened;
  reopened.place = {50, 60, 100, 100};
  ini.fetchWindow("pokazi", reopened);
  EXPECT_EQ(reopened.calls, (std::vector<std::string>{"normal", "geometry", "maximise"}));
  EXPECT_EQ(reopened.place.x, 10);
  EXPECT_EQ(reopened.place.y, 20);
  EXPECT_EQ(reopened.place.width, 300);
  EXPECT_EQ(reopened.place.height, 200);
  EXPECT_TRUE(reopened.isMaximized);
}

TEST_F(IniManagerTest, WithoutMaximizeTheWindowStaysWhereItWasDesigned) {
  ini.update("pokazi", "XPos", "1");
  ini.update("pokazi", "YPos", "2");
  FakeWindow window;
  ini.fetchWindow("pokazi", window);
  EXPECT_TRUE(window.calls.empty());
  ini.update("pokazi", "Maximize", "maybe");
  ini.fetchWindow("pokazi", window);
  EXPECT_TRUE(window.calls.empty());
}

TEST_F(IniManagerTest, AFixedSizeWindowOnlyMovesAndLostValuesChangeNothing) {
  ini.update("up_folder", "Maximize", "No");
  ini.update("up_folder", "XPos", "7");
  ini.update("up_folder", "Width", "999");
  FakeWindow window;
  window.isResizable = false;
  ini.fetchWindow("up_folder", window);
  EXPECT_EQ(window.place.x, 7);
  EXPECT_EQ(window.place.y, 20);       // "YPos" is missing: kept
  EXPECT_EQ(window.place.width, 300);  // not resizable: the size is the design's

  FakeWindow resizable;
  ini.update("up_folder", "Height", "junk");
  ini.fetchWindow("up_folder", resizable);
  EXPECT_EQ(resizable.place.width, 999);
  EXPECT_EQ(resizable.place.height, 200);  // not a number: kept, never 0

  FakeWindow noPosition;  // "XPos" empty: only the state is restored
  ini.update("Trayicon", "Maximize", "No");
  ini.update("Trayicon", "XPos", "");
  ini.fetchWindow("Trayicon", noPosition);
  EXPECT_TRUE(noPosition.calls.empty());
}

// --- lists and the registry -------------------------------------------------------------------

struct Column {
  std::string name;
  std::int32_t width = 0;
  CString<21> picture;
};

TEST_F(IniManagerTest, QueuesRoundTripAndLeaveOutAbsentFields) {
  const std::vector<Column> columns = {{"Folder", 120, CString<21>("s255")},
                                       {"Number", 30, CString<21>("n_6")}};
  ini.updateQueue("list", "cols", columns, &Column::name, &Column::width, &Column::picture);
  EXPECT_EQ(stored("list", "cols"), "2");
  EXPECT_EQ(stored("list", "cols_1"), "Folder,120,s255");
  EXPECT_EQ(stored("list", "cols_2"), "Number,30,n_6");

  std::vector<Column> back = {{"stale", 1, CString<21>("x")}};
  ini.fetchQueue("list", "cols", back, &Column::name, &Column::width, &Column::picture);
  ASSERT_EQ(back.size(), 2U);
  EXPECT_EQ(back[1].name, "Number");
  EXPECT_EQ(back[1].width, 30);
  EXPECT_EQ(back[1].picture, "n_6");

  ini.updateQueue("list", "names", columns, &Column::name);
  EXPECT_EQ(stored("list", "names_1"), "Folder");
  ini.fetchQueue("list", "names", back, &Column::name, &Column::width);
  ASSERT_EQ(back.size(), 2U);
  EXPECT_EQ(back[0].width, 0);

  ini.updateQueue("list", "empty", std::vector<Column>{}, &Column::name);
  EXPECT_EQ(stored("list", "empty"), "0");
  ini.fetchQueue("list", "empty", back, &Column::name);
  EXPECT_TRUE(back.empty());
}

TEST_F(IniManagerTest, ExtraCommasGoToTheLastField) {
  ini.update("list", "k", "1");
  ini.update("list", "k_1", "a,b,c,d");
  const auto rows = ini.fetchRows("list", "k");
  ASSERT_EQ(rows.size(), 1U);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"a", "b", "c"}));
}

TEST_F(IniManagerTest, SectionNamesTripleTheDollarsOfTheItem) {
  const IniManager::Sector sector{"QBE", "Price $ list$", "Saved"};
  const std::string name = IniManager::sectorName(sector);
  EXPECT_EQ(name, "QBE$Price $$$ list$$$$$Saved");
  EXPECT_EQ(IniManager::parseSectorName(name), sector);
  EXPECT_EQ(IniManager::parseSectorName("QBE$plain$$Type"),
            (IniManager::Sector{"QBE", "plain", "Type"}));
}

TEST_F(IniManagerTest, TheRegistryIsKeptAcrossRuns) {
  ini.addSector("QBE$Price $$$ list$$Saved");
  ini.addSector("QBE$Price $$$ list$$Saved");  // listed once
  ini.addSector("QBE$Other$$Saved");
  ini.addSector("Views$Other$$Col");
  EXPECT_EQ(ini.getSectors("QBE", "", "").size(), 2U);
  EXPECT_EQ(ini.getSectors("", "Other", "").size(), 2U);
  EXPECT_EQ(ini.getSectors("", "", "Col").size(), 1U);
  ini.kill();
  EXPECT_EQ(stored("Sectors", "__Dont_Touch_Me__"), "3");
  EXPECT_EQ(stored("Sectors", "__Dont_Touch_Me___1"), "QBE,Price $ list,Saved");

  IniManager next;
  next.init("cd_rw.ini");
  ASSERT_EQ(next.sectors().size(), 3U);
  EXPECT_EQ(next.sectors()[0], (IniManager::Sector{"QBE", "Price $ list", "Saved"}));
}

// A damaged count must not keep the program from starting: the registry is read at start-up,
// and a count of two thousand million used to mean as many reads of the file.
TEST_F(IniManagerTest, ADamagedCountEndsTheListAtTheFirstMissingRow) {
  ini.update("Sectors", "__Dont_Touch_Me__", "50");
  ini.update("Sectors", "__Dont_Touch_Me___1", "QBE,one,Saved");
  ini.update("Sectors", "__Dont_Touch_Me___2", "QBE,two,Saved");
  ini.update("Sectors", "__Dont_Touch_Me___4", "QBE,after the gap,Saved");
  IniManager next;
  next.init("cd_rw.ini");
  ASSERT_EQ(next.sectors().size(), 2U);
  EXPECT_EQ(next.sectors()[1].ITEM, "two");
  next.kill();  // and the file is mended
  EXPECT_EQ(stored("Sectors", "__Dont_Touch_Me__"), "2");

  ini.update("Sectors", "__Dont_Touch_Me__", "2000000000");
  IniManager huge;
  huge.init("cd_rw.ini");
  EXPECT_EQ(huge.sectors().size(), 2U);
  ini.update("list", "k", "-3");
  ini.update("list", "k_1", "never read");
  EXPECT_TRUE(ini.fetchRows("list", "k").empty());
}

}  // namespace
}  // namespace marlo
