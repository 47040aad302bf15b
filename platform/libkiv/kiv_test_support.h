// Test helpers: a temporary directory whose store file the library uses, and
// whole-file reads and writes.
#ifndef KIV_TEST_SUPPORT_H_
#define KIV_TEST_SUPPORT_H_

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "kiv.h"

namespace kiv_test {

inline std::string readWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

inline void writeWholeFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
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

  std::string dir_;
  std::string path_;
};

}  // namespace kiv_test

#endif  // KIV_TEST_SUPPORT_H_
