// RecordingConnector: the directory connector of unit tests. Every
// connection it opens sends its requests to one RecordingDirectory, so a
// test states the whole exchange of a command, from the opening of the
// connection ("open ssl SERVER:PORT [TRUSTFILE]", "open clear SERVER:PORT")
// and the bind to the last request, in `directory.requests`.
#ifndef KIVCONFIG_DIRECTORY_CONNECTOR_TEST_SUPPORT_H_
#define KIVCONFIG_DIRECTORY_CONNECTOR_TEST_SUPPORT_H_

#include <memory>
#include <string>

#include "base/directory_test_support.h"
#include "directory/session.h"

class RecordingConnector : public DirectoryConnector {
 public:
  RecordingDirectory directory;
  // Where connections send requests: `directory`, or a DirectoryTree that outlives a command.
  RecordingDirectory* target = &directory;
  int sslResult = 0;    // what openSsl answers
  int clearResult = 0;  // what openClear answers

  int openSsl(const std::string& server, uint16_t port, const std::optional<std::string>& trustFile,
              std::unique_ptr<DirectoryRequests>& connection, std::string& problem) override {
    if (sslResult != 0)
      problem = "set-up failed";
    return open("ssl " + server + ":" + std::to_string(port) + (trustFile ? " " + *trustFile : ""),
                sslResult, connection);
  }
  int openClear(const std::string& server, uint16_t port,
                std::unique_ptr<DirectoryRequests>& connection) override {
    return open("clear " + server + ":" + std::to_string(port), clearResult, connection);
  }

 private:
  int open(const std::string& where, int result, std::unique_ptr<DirectoryRequests>& connection) {
    target->requests.push_back("open " + where);
    if (result == 0)
      connection = std::make_unique<RecordingDirectory>(target);
    return result;
  }
};

#endif  // KIVCONFIG_DIRECTORY_CONNECTOR_TEST_SUPPORT_H_
