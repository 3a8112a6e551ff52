// The control as the program gets it: the module vfcdwriter.ocx from the program's folder,
// registered through its entry under the class id the program asks for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/activex/host.h"

namespace {

using marlo::activex::CallError;
using marlo::activex::CallKind;
using marlo::activex::Host;
using marlo::activex::Value;

constexpr const char* kClassId = "{40B4C464-FE90-11D2-B1AA-E02862C10000}";

TEST(DiscWriterModule, RegistersItsClassAndAnswersThroughTheHost) {
  Host host;
  host.setModuleFolders({CDWRITER_MODULE_DIR});
  EXPECT_FALSE(host.isRegistered(kClassId));
  ASSERT_EQ(host.registerServer("vfcdwriter.ocx"), 0);
  ASSERT_TRUE(host.isRegistered(kClassId));
  host.attach(1, 1, host.createObject(kClassId));
  std::vector<std::string> statuses;
  host.connect(1, 1, [&](const marlo::activex::EventParameters& p) {
    if (p.name() == "OnStatus") statuses.push_back(p.at(2).toText());
  });
  EXPECT_EQ(host.get(1, 1, "33").toInteger(), 0);
  EXPECT_TRUE(host.execute(1, 1, "-552"));
  ASSERT_EQ(statuses.size(), 1u);
  EXPECT_NE(statuses[0].find("libisofs"), std::string::npos);
  EXPECT_EQ(host.call(1, 1, "9", CallKind::Put, Value(3)).error, CallError::WrongType);
  host.detach(1, 1);
}

}  // namespace
