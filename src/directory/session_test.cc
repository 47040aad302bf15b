#include "directory/session.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

#include "base/log.h"
#include "base/run_settings.h"

namespace {

// No server is contacted: the session is given up at the prompt.
TEST(ConnectDirectory, EndOfInputAtTheAdminNamePrompt) {
  std::string logFile = ::testing::TempDir() + "session_test.log";
  setLogFileForTesting(logFile.c_str());
  runSettings = RunSettings{};
  runSettings.ldapServer = "127.0.0.1";
  ASSERT_NE(freopen("/dev/null", "r", stdin), nullptr);
  std::unique_ptr<DirectorySession> session;
  testing::internal::CaptureStdout();
  EXPECT_EQ(connectDirectory(ConnectMode::kFromRunSettings, session), -5999);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Admin Name:Invalid entry\n");
  EXPECT_EQ(session, nullptr);
  unlink(logFile.c_str());
}

}  // namespace
