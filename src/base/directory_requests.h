// The directory requests the program makes, behind one small interface.
//
// DirectorySession (directory/session.h) sends them over the bound LDAP
// session; unit tests hand the code under test a RecordingDirectory
// (directory_test_support.h), which records every request and answers from a
// script. Every request is synchronous, without controls or limits, and
// returns a result code: 0, an LDAP result code, 81 when the server does not
// answer and 91 when it cannot be reached (ldap_error.h).
#ifndef KIVCONFIG_BASE_DIRECTORY_REQUESTS_H_
#define KIVCONFIG_BASE_DIRECTORY_REQUESTS_H_

#include <ldap.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class SearchScope { kBase = LDAP_SCOPE_BASE, kOneLevel = LDAP_SCOPE_ONELEVEL };

struct DirectoryAttribute {
  std::string name;
  std::vector<std::string> values;
};

// One entry of a search result, with its attributes in the order the server
// sent them.
struct DirectoryEntry {
  std::string dn;
  std::vector<DirectoryAttribute> attributes;

  // The values of attribute `name` (compared without regard to case): the
  // first listing of it that has values, else an empty listing, or nullptr
  // when the entry has none.
  const std::vector<std::string>* values(std::string_view name) const;
};

// Which schema elements DirectoryRequests::readSchemaNames lists.
enum class SchemaElementKind { kAttributeType = 0, kObjectClass = 1 };

class DirectoryRequests {
 public:
  virtual ~DirectoryRequests() = default;

  virtual int bind(const std::string& dn, const std::string& password) = 0;

  // Searches under `base`. An empty `filter` is the default filter
  // "(objectclass=*)"; empty `attributes` asks for all of them. `entries`
  // receives what the server returned, also when the result is not 0.
  virtual int search(const std::string& base, SearchScope scope, const std::string& filter,
                     const std::vector<std::string>& attributes,
                     std::vector<DirectoryEntry>& entries) = 0;

  // The same request as search, for a step that needs only whether entries
  // came back and the first of them: `first` receives it. The session takes
  // the answers one by one and keeps none of the others, so the memory a
  // search needs does not grow with the entries found.
  virtual int searchFirst(const std::string& base, SearchScope scope, const std::string& filter,
                          const std::vector<std::string>& attributes,
                          std::optional<DirectoryEntry>& first);

  // `modifications` is a NULL-terminated modification list.
  virtual int add(const std::string& dn, LDAPMod** modifications) = 0;
  virtual int modify(const std::string& dn, LDAPMod** modifications) = 0;
  virtual int remove(const std::string& dn) = 0;
  // A null `newSuperior` keeps the entry under its parent.
  virtual int rename(const std::string& dn, const std::string& newRdn, const char* newSuperior,
                     bool deleteOldRdn) = 0;
  // Sends the extended operation `oid` with `value`; the response is not
  // used.
  virtual int extendedOperation(const std::string& oid, const std::string& value) = 0;

  // The directory SDK's schema access: the first NAME of every element of
  // `kind` in the server's subschema entry, in the server's order.
  virtual int readSchemaNames(SchemaElementKind kind, std::vector<std::string>& names) = 0;
  // The directory SDK's request to take up schema changes at once.
  virtual int refreshServer() = 0;

  // Whether the last request failed because the SSL handshake refused the
  // server's certificate: the server answers, so waiting would not help.
  virtual bool certificateRefused() { return false; }

  // Why the SSL negotiation of the last request failed while the server
  // answered; empty when it did not fail so (a server that does not answer
  // at all says nothing).
  virtual std::string negotiationFailure() { return ""; }
};

// A modification list built from strings: owns the values and hands out
// the NULL-terminated LDAPMod array that add and modify take.
class Modifications {
 public:
  // Appends one modification of `attribute` with `values`, in order.
  Modifications& add(int operation, std::string attribute, std::vector<std::string> values);

  // Valid until the next add() or the end of this object.
  LDAPMod** get();

 private:
  struct Item {
    int operation;
    std::string attribute;
    std::vector<std::string> values;
  };
  std::vector<Item> items_;
  std::vector<LDAPMod> mods_;
  std::vector<std::vector<berval>> values_;
  std::vector<std::vector<berval*>> valuePointers_;
  std::vector<LDAPMod*> modPointers_;
};

#endif  // KIVCONFIG_BASE_DIRECTORY_REQUESTS_H_
