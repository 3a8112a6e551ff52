#include "framework/relation_set.h"

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "table_fixture.h"

namespace marlo {
namespace {

// Parents (ID unique) with children (auto-numbered CID, PARENT linking to the parent's ID),
// and grandchildren (GID, CHILD linking to the child's CID).
struct Parent {
  std::int32_t ID = 0;
  CString<31> NAME;
};
struct Child {
  std::int32_t CID = 0;
  std::int32_t PARENT = 0;
  CString<31> NOTE;
};
struct Grandchild {
  std::int32_t GID = 0;
  std::int32_t CHILD = 0;
};

class RelationSetTest : public test::TableTest {
 protected:
  void SetUp() override {
    test::TableTest::SetUp();
    parents = std::make_unique<KeyedTable>(
        TableDeclaration{"par",
                         "PARENTS",
                         {bindField("ID", parent.ID), bindField("NAME", parent.NAME)},
                         {{"id_key", {{0, true}}, false, false}}});
    children = std::make_unique<KeyedTable>(TableDeclaration{
        "chi",
        "CHILDREN",
        {bindField("CID", child.CID), bindField("PARENT", child.PARENT),
         bindField("NOTE", child.NOTE)},
        {{"cid_key", {{0, true}}, false, false}, {"parent_key", {{1, true}}, true, false}}});
    grandchildren = std::make_unique<KeyedTable>(
        TableDeclaration{"gra",
                         "GRANDCHILDREN",
                         {bindField("GID", grandchild.GID), bindField("CHILD", grandchild.CHILD)},
                         {{"gid_key", {{0, true}}, false, false}}});
    for (auto [manager, table] :
         {std::pair{&parentFiles, parents.get()}, std::pair{&childFiles, children.get()},
          std::pair{&grandchildFiles, grandchildren.get()}}) {
      manager->init(*table, errors);
      manager->CREATE = true;
      manager->LOCKRECOVER = 0;
    }
    childFiles.addKey(0, "Child number", 1);
    parentSet.init(parentFiles);
    childSet.init(childFiles);
    grandchildSet.init(grandchildFiles);
    ASSERT_EQ(parentSet.open(), SevBenign);
    ASSERT_EQ(childFiles.open(), SevBenign);
    ASSERT_EQ(grandchildFiles.open(), SevBenign);

    addParent(1, "one");
    addParent(2, "two");
    addChild(1, "1a");  // CID 1
    addChild(1, "1b");  // CID 2
    addChild(2, "2a");  // CID 3
    addGrandchild(10, 2);
  }

  void TearDown() override {
    parentFiles.kill();
    childFiles.kill();
    grandchildFiles.kill();
    test::TableTest::TearDown();
  }

  void addParent(std::int32_t id, const char* name) {
    parent.ID = id;
    parent.NAME = name;
    ASSERT_EQ(parentFiles.insert(), SevBenign);
  }
  void addChild(std::int32_t parentId, const char* note) {
    child.CID = 0;
    child.PARENT = parentId;
    child.NOTE = note;
    ASSERT_EQ(childFiles.insert(), SevBenign);
  }
  void addGrandchild(std::int32_t id, std::int32_t childId) {
    grandchild.GID = id;
    grandchild.CHILD = childId;
    ASSERT_EQ(grandchildFiles.insert(), SevBenign);
  }

  // Reads parent `id` into the buffer, as a window does before changing or deleting it.
  void readParent(std::int32_t id) {
    parent.ID = id;
    ASSERT_EQ(parentFiles.tryFetch(0), SevBenign);
  }

  std::vector<std::int32_t> parentIds() {
    std::vector<std::int32_t> ids;
    parents->setBefore(0);
    while (parents->next() == 0) ids.push_back(parent.ID);
    return ids;
  }
  // Child number -> parent it links to.
  std::map<std::int32_t, std::int32_t> childLinks() {
    std::map<std::int32_t, std::int32_t> links;
    children->setBefore(0);
    while (children->next() == 0) links[child.CID] = child.PARENT;
    return links;
  }

  [[nodiscard]] std::vector<std::string> captions() const {
    std::vector<std::string> out;
    for (const MessageBoxRequest& box : ui.boxes) out.push_back(box.caption);
    return out;
  }

  Parent parent;
  Child child;
  Grandchild grandchild;
  std::unique_ptr<KeyedTable> parents;
  std::unique_ptr<KeyedTable> children;
  std::unique_ptr<KeyedTable> grandchildren;
  FileManager parentFiles;
  FileManager childFiles;
  FileManager grandchildFiles;
  RelationSet parentSet;
  RelationSet childSet;
  RelationSet grandchildSet;
};

const std::vector<RelationSet::Link> kParentLink = {{0, 1}};  // ID -> PARENT
const std::vector<RelationSet::Link> kChildLink = {{0, 1}};   // CID -> CHILD

// --- delete -----------------------------------------------------------------------------------

TEST_F(RelationSetTest, DeleteAsksFirstWhenQueried) {
  readParent(2);
  ui.answers = {button::No};
  EXPECT_EQ(parentSet.delete_(true), SevNotify);
  ASSERT_EQ(captions(), std::vector<std::string>{"Confirm Delete"});
  EXPECT_EQ(ui.boxes[0].text, "Are you sure you want to delete the highlighted record?");
  EXPECT_EQ(parentIds(), (std::vector<std::int32_t>{1, 2}));

  ui.answers = {button::Yes};
  EXPECT_EQ(parentSet.delete_(true), SevBenign);
  EXPECT_EQ(parentIds(), std::vector<std::int32_t>{1});
}

TEST_F(RelationSetTest, RestrictRefusesTheDeleteAndLeavesEverything) {
  parentSet.addRelation(childSet, RuleNone, RuleRestrict, kParentLink);
  readParent(1);
  ui.answers = {button::Ok, button::No};  // the message, then "try again?" No
  EXPECT_EQ(parentSet.delete_(false), SevNotify);
  ASSERT_EQ(captions(), (std::vector<std::string>{"Referential Integrity Delete Error",
                                                  "Record Delete Error"}));
  EXPECT_EQ(ui.boxes[0].text,
            "This record is referenced from the file CHILDREN.db. This record cannot be deleted "
            "while these references exist.");
  EXPECT_EQ(ui.boxes[1].buttons, button::Yes | button::No);
  EXPECT_EQ(parentIds(), (std::vector<std::int32_t>{1, 2}));
  EXPECT_EQ(childLinks().size(), 3U);
  EXPECT_EQ(ui.cursorChanges, (std::vector<bool>{true, false}));
}

TEST_F(RelationSetTest, RetryingAFailedDeleteRunsItAgain) {
  parentSet.addRelation(childSet, RuleNone, RuleRestrict, kParentLink);
  readParent(1);
  ui.answers = {button::Ok, button::Yes, button::Ok, button::No};
  EXPECT_EQ(parentSet.delete_(false), SevNotify);
  EXPECT_EQ(ui.boxes.size(), 4U);
}

TEST_F(RelationSetTest, CascadeDeletesTheRelatedRecordsToo) {
  parentSet.addRelation(childSet, RuleNone, RuleCascade, kParentLink);
  readParent(1);
  EXPECT_EQ(parentSet.delete_(false), SevBenign);
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(parentIds(), std::vector<std::int32_t>{2});
  EXPECT_EQ(childLinks(), (std::map<std::int32_t, std::int32_t>{{3, 2}}));
}

TEST_F(RelationSetTest, ClearBlanksTheLinksOfTheRelatedRecords) {
  parentSet.addRelation(childSet, RuleNone, RuleClear, kParentLink);
  readParent(1);
  EXPECT_EQ(parentSet.delete_(false), SevBenign);
  EXPECT_EQ(parentIds(), std::vector<std::int32_t>{2});
  EXPECT_EQ(childLinks(), (std::map<std::int32_t, std::int32_t>{{1, 0}, {2, 0}, {3, 2}}));
}

TEST_F(RelationSetTest, ARestrictFurtherDownRollsTheWholeCascadeBack) {
  parentSet.addRelation(childSet, RuleNone, RuleCascade, kParentLink);
  childSet.addRelation(grandchildSet, RuleNone, RuleRestrict, kChildLink);
  readParent(1);
  ui.answers = {button::Ok, button::No};
  EXPECT_EQ(parentSet.delete_(false), SevNotify);
  ASSERT_EQ(captions(), (std::vector<std::string>{"Referential Integrity Delete Error",
                                                  "Record Delete Error"}));
  EXPECT_NE(ui.boxes[0].text.find("GRANDCHILDREN.db"), std::string::npos);
  // Child 1 had been deleted by the cascade before child 2 was refused: it is back.
  EXPECT_EQ(parentIds(), (std::vector<std::int32_t>{1, 2}));
  EXPECT_EQ(childLinks(), (std::map<std::int32_t, std::int32_t>{{1, 1}, {2, 1}, {3, 2}}));
}

TEST_F(RelationSetTest, RelatedBuffersAreKept) {
  parentSet.addRelation(childSet, RuleNone, RuleCascade, kParentLink);
  child.NOTE = "on another window";
  readParent(1);
  EXPECT_EQ(parentSet.delete_(false), SevBenign);
  EXPECT_EQ(child.NOTE, "on another window");
}

// --- update -----------------------------------------------------------------------------------

TEST_F(RelationSetTest, CascadeCarriesAChangedLinkToTheRelatedRecords) {
  parentSet.addRelation(childSet, RuleCascade, RuleNone, kParentLink);
  readParent(1);
  parent.ID = 10;
  EXPECT_EQ(parentSet.update(true), SevBenign);
  EXPECT_EQ(parentIds(), (std::vector<std::int32_t>{2, 10}));
  EXPECT_EQ(childLinks(), (std::map<std::int32_t, std::int32_t>{{1, 10}, {2, 10}, {3, 2}}));
}

TEST_F(RelationSetTest, ARecordReadPastTheManagerNeverMovesAnotherRecordsLinks) {
  parentSet.addRelation(childSet, RuleCascade, RuleNone, kParentLink);
  readParent(1);
  parent.ID = 2;
  ASSERT_EQ(parents->get(0), 0);  // read directly: the manager still remembers parent 1
  parent.NAME = "renamed";
  EXPECT_EQ(parentSet.update(true), SevBenign);
  EXPECT_EQ(childLinks(), (std::map<std::int32_t, std::int32_t>{{1, 1}, {2, 1}, {3, 2}}));

  parentFiles.noteRead();  // told what was read, the rules apply again
  parent.ID = 20;
  EXPECT_EQ(parentSet.update(true), SevBenign);
  EXPECT_EQ(childLinks(), (std::map<std::int32_t, std::int32_t>{{1, 1}, {2, 1}, {3, 20}}));
}

TEST_F(RelationSetTest, ClearBlanksLinksOnUpdate) {
  parentSet.addRelation(childSet, RuleClear, RuleNone, kParentLink);
  readParent(1);
  parent.ID = 10;
  EXPECT_EQ(parentSet.update(true), SevBenign);
  EXPECT_EQ(childLinks(), (std::map<std::int32_t, std::int32_t>{{1, 0}, {2, 0}, {3, 2}}));
}

TEST_F(RelationSetTest, RestrictRefusesTheChangeAndResetsTheLink) {
  parentSet.addRelation(childSet, RuleRestrict, RuleNone, kParentLink);
  readParent(1);
  parent.ID = 10;
  parent.NAME = "renamed";
  EXPECT_EQ(parentSet.update(true), SevNotify);
  ASSERT_EQ(captions(), std::vector<std::string>{"Referential Integrity Update Error"});
  EXPECT_EQ(ui.boxes[0].text,
            "This record is referenced from the file CHILDREN.db. Linking field(s) have been "
            "restricted from change and have been reset to original values.");
  EXPECT_EQ(parent.ID, 1);  // the link is back, the other change is still on screen
  EXPECT_EQ(parent.NAME, "renamed");
  EXPECT_EQ(parentIds(), (std::vector<std::int32_t>{1, 2}));
  readParent(1);
  EXPECT_EQ(parent.NAME, "one");  // nothing was written

  // A change that leaves the link alone is not restricted.
  parent.NAME = "renamed";
  EXPECT_EQ(parentSet.update(true), SevBenign);
}

TEST_F(RelationSetTest, ACollisionFromAFormIsReportedInTheFormsWords) {
  Parent theirs;
  KeyedTable station(TableDeclaration{"par",
                                      "PARENTS",
                                      {bindField("ID", theirs.ID), bindField("NAME", theirs.NAME)},
                                      {{"id_key", {{0, true}}, false, false}}});
  readParent(2);
  ASSERT_EQ(station.open(kAccessReadWrite | kDenyNone), 0);
  theirs.ID = 2;
  ASSERT_EQ(station.get(0), 0);
  theirs.NAME = "theirs";
  ASSERT_EQ(station.put(), 0);
  station.close();

  parent.NAME = "mine";
  EXPECT_EQ(parentSet.update(true), SevNotify);
  ASSERT_EQ(captions(), std::vector<std::string>{"Record Was Not Updated"});
  EXPECT_EQ(parentFiles.lastError(), 7);
  EXPECT_EQ(parent.NAME, "theirs");

  parent.NAME = "mine";
  EXPECT_EQ(parentSet.update(false), SevBenign);  // the buffer now matches what is stored
}

TEST_F(RelationSetTest, ATransactionThatCannotStartCancelsTheChange) {
  readParent(2);
  ASSERT_EQ(KeyedTable::beginTransaction({parents.get()}), 0);  // someone framed it already
  parent.NAME = "changed";
  EXPECT_EQ(parentSet.update(true), SevNotify);
  ui.answers = {button::Ok, button::No};  // then no second attempt
  EXPECT_EQ(parentSet.delete_(false), SevNotify);
  KeyedTable::rollback({parents.get()});
  ASSERT_GE(ui.boxes.size(), 2U);
  EXPECT_EQ(ui.boxes[0].caption, "Transaction cancelled");
  EXPECT_EQ(ui.boxes[0].text.rfind("Error: (", 0), 0U);
  EXPECT_NE(ui.boxes[0].text.find(") attempting to frame the transaction on PARENTS.db."),
            std::string::npos);
  EXPECT_EQ(ui.boxes[1].caption, "Transaction cancelled");
  EXPECT_EQ(ui.boxes.back().caption, "Record Delete Error");
  readParent(2);
  EXPECT_EQ(parent.NAME, "two");
}

TEST_F(RelationSetTest, CancelAutoIncDeletesThePlaceholderThroughTheSet) {
  child.PARENT = 2;
  ASSERT_EQ(childFiles.primeAutoInc(), SevBenign);
  EXPECT_EQ(childLinks().size(), 4U);
  EXPECT_EQ(childSet.cancelAutoInc(), SevBenign);
  EXPECT_EQ(childLinks().size(), 3U);
  EXPECT_TRUE(ui.boxes.empty());  // no question for the placeholder
}

}  // namespace
}  // namespace marlo
