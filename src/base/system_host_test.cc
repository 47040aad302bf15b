#include "base/system_host.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "base/terminal_input.h"

namespace {

// The real store keeps a value of the largest accepted length whole, refuses
// a longer one, and does not hand out a longer one written by hand.
TEST(SystemHost, StoreValuesUpToTheirLimit) {
  // ctest runs the cases of this binary in parallel processes.
  const std::string dir = ::testing::TempDir() + "SystemHost_StoreValuesUpToTheirLimit";
  std::filesystem::create_directories(dir);
  const std::string path = dir + "/kiv.conf";
  const std::string longest(kStoreValueSize - 1, 'v');
  SystemHost host;
  host.selectStore(path.c_str());
  EXPECT_TRUE(host.setStoreText("alternative-ldap-server-list", longest, false));
  EXPECT_TRUE(host.setStoreText("base-name", longest, true));
  EXPECT_TRUE(host.setStoreInteger("ldap-port", 1636));
  EXPECT_FALSE(host.setStoreText("preferred-server", longest + "v", false));
  EXPECT_EQ(host.saveStore(), 0);
  host.endStore();
  std::ofstream(path, std::ios::app) << "schema=" << longest << "v\nadmin-fdn=" << longest << "v\n";
  EXPECT_EQ(host.readStoreText("alternative-ldap-server-list", false), longest);
  EXPECT_EQ(host.readStoreText("base-name", true), longest);
  EXPECT_EQ(host.readStoreInteger("ldap-port"), 1636);
  EXPECT_EQ(host.readStoreText("preferred-server", false), std::nullopt);
  EXPECT_EQ(host.readStoreText("schema", false), std::nullopt);
  EXPECT_EQ(host.readStoreText("admin-fdn", true), std::nullopt);
  host.endStore();
  std::filesystem::remove_all(dir);
}

// Blank-delimited words after white space and empty lines; a word longer
// than the limit is consumed whole.
TEST(SystemHost, TerminalWords) {
  char typed[] = "  \n\n one  xxxxx four\nfifth";
  std::unique_ptr<FILE, int (*)(FILE*)> in(fmemopen(typed, sizeof typed - 1, "r"), fclose);
  std::string read;  // each word read, "!" for one too long, "$" for the end of input
  for (int i = 0; i < 5; ++i) {
    std::string word;
    WordStatus status = readTerminalWord(in.get(), word, 4);
    read += status == WordStatus::kRead ? word + " " : status == WordStatus::kTooLong ? "! " : "$ ";
  }
  EXPECT_EQ(read, "one ! four ! $ ");
}

}  // namespace
