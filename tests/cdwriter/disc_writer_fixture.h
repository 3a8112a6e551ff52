// The disc-writing control as the host reaches it: member texts through a host slot, and every
// event recorded, for the tests of the real control on stdio: pseudo-drives.
#pragma once

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "cdwriter/disc_writer.h"
#include "platform/activex/host.h"
#include "platform/activex/member_text.h"
#include "temp_folder.h"

namespace cdwriter::test {

using marlo::activex::EventParameters;
using marlo::activex::Host;
using marlo::activex::Value;

struct Recorded {
  std::string name;
  std::vector<Value> parameters;
};

class DiscWriterFixture : public ::testing::Test {
 protected:
  static constexpr marlo::win::WindowHandle kWindow = 7;
  static constexpr int kSlot = 1;

  void SetUp() override {
    host_.attach(kWindow, kSlot, DiscWriter::make());
    host_.connect(kWindow, kSlot, [this](const EventParameters& p) {
      std::vector<Value> values;
      for (int i = 1; i <= p.count(); ++i) values.push_back(p.at(i));
      std::lock_guard lock(mutex_);
      events_.push_back(Recorded{p.name(), std::move(values)});
    });
  }
  void TearDown() override { host_.detach(kWindow, kSlot); }

  Value get(std::string_view member) { return host_.get(kWindow, kSlot, member); }
  bool put(std::string_view member, Value v) { return host_.put(kWindow, kSlot, member, v); }
  bool execute(std::string_view member) { return host_.execute(kWindow, kSlot, member); }
  marlo::activex::CallResult call(std::string_view member, marlo::activex::CallKind kind,
                                  Value assigned = {}) {
    return host_.call(kWindow, kSlot, member, kind, assigned);
  }

  // "24(\"path\")" and the like.
  static std::string withText(int member, const std::string& text) {
    return std::to_string(member) + "(" + marlo::activex::quoteArgument(text) + ")";
  }

  // Polls the busy indicator as the window does, with a short sleep and a generous cap.
  bool waitIdle() {
    const auto cap = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    while (std::chrono::steady_clock::now() < cap) {
      if (get("33").toInteger() == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  std::vector<Recorded> events() {
    std::lock_guard lock(mutex_);
    return events_;
  }
  void forget() {
    std::lock_guard lock(mutex_);
    events_.clear();
  }
  // The messages of one event ("OnStatus", "OnError"), in order.
  std::vector<std::string> messages(const std::string& name) {
    std::vector<std::string> out;
    for (const Recorded& e : events()) {
      if (e.name == name && e.parameters.size() >= 2) out.push_back(e.parameters[1].toText());
    }
    return out;
  }
  static bool anyContains(const std::vector<std::string>& lines, const std::string& part) {
    for (const auto& l : lines) {
      if (l.find(part) != std::string::npos) return true;
    }
    return false;
  }

  static void writeRandomFile(const std::filesystem::path& path, std::size_t bytes) {
    std::mt19937 random(42);
    std::string data(bytes, '\0');
    for (char& c : data) c = static_cast<char>(random());
    std::ofstream(path, std::ios::binary) << data;
  }
  static std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  // Adds a file, builds the image and waits; the image path.
  std::string buildImageOf(const std::filesystem::path& file) {
    const std::string image = (folder_.path() / "temp_iso.iso").string();
    EXPECT_EQ(get("26(" + marlo::activex::quoteArgument(file.string()) + ",1,\"\\Backup\\\")")
                  .toInteger(),
              1);
    EXPECT_EQ(get(withText(25, image)).toInteger(), 1);
    EXPECT_TRUE(waitIdle());
    return image;
  }

  marlo::testing::TempFolder folder_;
  Host host_;
  std::mutex mutex_;
  std::vector<Recorded> events_;
};

// A small file system of its own (a tmpfs), for targets that are too small or read-only.
// Mounting needs root; without it the test that needs one is skipped.
class TinyFileSystem {
 public:
  TinyFileSystem(const std::filesystem::path& where, const char* size) : where_(where) {
    std::filesystem::create_directories(where);
    mounted_ = ::mount("tmpfs", where.c_str(), "tmpfs", 0, size) == 0;
    options_ = size;
  }
  ~TinyFileSystem() {
    if (mounted_) ::umount2(where_.c_str(), MNT_DETACH);
  }
  TinyFileSystem(const TinyFileSystem&) = delete;
  TinyFileSystem& operator=(const TinyFileSystem&) = delete;
  [[nodiscard]] bool mounted() const { return mounted_; }
  bool makeReadOnly() {
    return ::mount(nullptr, where_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, options_.c_str()) == 0;
  }

 private:
  std::filesystem::path where_;
  std::string options_;
  bool mounted_ = false;
};

}  // namespace cdwriter::test
