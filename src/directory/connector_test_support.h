// RecordingConnector: the directory connector of unit tests. Every
// connection it opens sends its requests to one RecordingDirectory, so a
// test states the whole exchange of a command, from the opening of the
// connection ("open ssl SERVER:PORT [TRUSTFILE]", "open clear SERVER:PORT")
// and the bind to the last request, in `directory.requests`.
#ifndef KIVCONFIG_DIRECTORY_CONNECTOR_TEST_SUPPORT_H_
#define KIVCONFIG_DIRECTORY_CONNECTOR_TEST_SUPPORT_H_

#include <memory>
#include <string>
#include <vector>

#include "base/directory_test_support.h"
#include "directory/session.h"

class RecordingConnector : public DirectoryConnector {
 public:
  RecordingDirectory directory;
  // Where the connections send their requests: `directory`, or a test's own
  // (a DirectoryTree that outlives one command).
  RecordingDirectory* target = &directory;
  int sslResult = 0;    // what openSsl answers
  int clearResult = 0;  // what openClear answers

  int openSsl(const std::string& server, uint16_t port, const std::optional<std::string>& trustFile,
              std::unique_ptr<DirectoryRequests>& connection, std::string& problem) override {
    target->requests.push_back("open ssl " + server + ":" + std::to_string(port) +
                               (trustFile ? " " + *trustFile : ""));
    if (sslResult != 0) {
      problem = "set-up failed";
      return sslResult;
    }
    connection = std::make_unique<Forwarding>(*target);
    return 0;
  }
  int openClear(const std::string& server, uint16_t port,
                std::unique_ptr<DirectoryRequests>& connection) override {
    target->requests.push_back("open clear " + server + ":" + std::to_string(port));
    if (clearResult != 0)
      return clearResult;
    connection = std::make_unique<Forwarding>(*target);
    return 0;
  }

 private:
  // A connection that the command owns and that sends everything on to the
  // test's directory.
  class Forwarding : public DirectoryRequests {
   public:
    explicit Forwarding(RecordingDirectory& target) : target_(target) {}
    int bind(const std::string& dn, const std::string& password) override {
      return target_.bind(dn, password);
    }
    int search(const std::string& base, SearchScope scope, const std::string& filter,
               const std::vector<std::string>& attributes,
               std::vector<DirectoryEntry>& entries) override {
      return target_.search(base, scope, filter, attributes, entries);
    }
    int add(const std::string& dn, LDAPMod** mods) override { return target_.add(dn, mods); }
    int modify(const std::string& dn, LDAPMod** mods) override { return target_.modify(dn, mods); }
    int remove(const std::string& dn) override { return target_.remove(dn); }
    int rename(const std::string& dn, const std::string& newRdn, const char* newSuperior,
               bool deleteOldRdn) override {
      return target_.rename(dn, newRdn, newSuperior, deleteOldRdn);
    }
    int extendedOperation(const std::string& oid, const std::string& value) override {
      return target_.extendedOperation(oid, value);
    }
    int readSchemaNames(SchemaElementKind kind, std::vector<std::string>& names) override {
      return target_.readSchemaNames(kind, names);
    }
    int refreshServer() override { return target_.refreshServer(); }
    bool certificateRefused() override { return target_.certificateRefused(); }
    std::string negotiationFailure() override { return target_.negotiationFailure(); }

   private:
    RecordingDirectory& target_;
  };
};

#endif  // KIVCONFIG_DIRECTORY_CONNECTOR_TEST_SUPPORT_H_
