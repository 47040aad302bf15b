// A temporary store file for each test.
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

class StoreFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(mkdtemp(dir_.data()), nullptr);
    path_ = dir_ + "/kiv.conf";
    kivSetConfigFile(path_.c_str());
  }
  void TearDown() override {
    kivSetConfigFile(nullptr);
    std::filesystem::remove_all(dir_);
  }
  static std::string readWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  static void writeWholeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
  }

  std::string dir_ = (std::filesystem::temp_directory_path() / "kivtest.XXXXXX").string();
  std::string path_;
};

}  // namespace kiv_test

#endif  // KIV_TEST_SUPPORT_H_
