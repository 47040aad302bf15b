// Test helpers: a temporary directory that selects a store file inside it,
// and whole-file reads and writes.
#ifndef KIV_TEST_SUPPORT_H_
#define KIV_TEST_SUPPORT_H_

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "kiv.h"

namespace kiv_test {

inline std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

inline void writeWholeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

// Each test gets its own directory and store file; the library is returned to
// its default file afterwards.
class StoreFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "kivtest.XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/kiv.conf";
    kivSetConfigFile(path_.c_str());
  }
  void TearDown() override {
    kivEndConfig();
    kivSetConfigFile(nullptr);
    std::filesystem::remove_all(dir_);
  }
  // Names in the directory in order, to see that no temporary file is left
  // behind.
  std::string directoryListing() const {
    std::set<std::string> sorted;
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      sorted.insert(entry.path().filename().string());
    }
    std::string names;
    for (const std::string& name : sorted) {
      names += name + " ";
    }
    return names;
  }

  std::string dir_;
  std::string path_;
};

}  // namespace kiv_test

#endif  // KIV_TEST_SUPPORT_H_
