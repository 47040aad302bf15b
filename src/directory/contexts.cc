#include "directory/contexts.h"

#include <ldap.h>
#include <strings.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <optional>

#include "base/log.h"
#include "base/messages.h"
#include "base/result_codes.h"
#include "directory/dn_split.h"
#include "directory/dn_text.h"
#include "directory/host_objects.h"
#include "directory/progress.h"

namespace {

// The classes a missing container is created with, by the type of its RDN.
struct ContainerType {
  const char* rdnType;
  const char* objectClass;
};
constexpr ContainerType kContainerTypes[] = {
    {"L", "locality"}, {"O", "organization"}, {"OU", "organizationalUnit"},
    {"C", "country"},  {"DC", "domain"},
};

// What is said about one of the two contexts.
struct ContextTexts {
  const char* ObjectNames::*objectClass;  // what the context is to hold
  const char* createdLog;
  const char* invalidSyntaxFormat;  // with the DN for %s
  const char* notAtTreeRootText;
};

constexpr ContextTexts kPartitionRootTexts = {
    &ObjectNames::configClass,
    "createContext for partitionRoot succeeded.",
    translatable("Partition root is in invalid DN syntax \"%s\"\n"),
    translatable("Error:Given partition root is not a container object to contain Config object\n"),
};

constexpr ContextTexts kWorkstationContextTexts = {
    &ObjectNames::workstationClass,
    "createContext for workstationContext succeeded.",
    translatable("Workstation context is in invalid DN syntax \"%s\"\n"),
    translatable("Error:Given workstation context is not a container object to contain Unix "
                 "workstation object\n"),
};

bool contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

size_t skipBlanks(std::string_view text, size_t at) {
  while (at < text.size() && isspace(static_cast<unsigned char>(text[at])))
    ++at;
  return at;
}

// The quoted names at `at`: "'a'" or "( 'a' 'b' )".
std::vector<std::string_view> quotedNames(std::string_view text, size_t at) {
  std::vector<std::string_view> names;
  at = skipBlanks(text, at);
  bool list = at < text.size() && text[at] == '(';
  if (list)
    at = skipBlanks(text, at + 1);
  while (at < text.size() && text[at] == '\'') {
    size_t end = text.find('\'', at + 1);
    if (end == std::string_view::npos)
      break;
    names.push_back(text.substr(at + 1, end - at - 1));
    if (!list)
      break;
    at = skipBlanks(text, end + 1);
  }
  return names;
}

// The NAMEs a definition gives; a "NAME" inside a quoted text is no field.
std::vector<std::string_view> definitionNames(std::string_view definition) {
  size_t at = 0;
  while (at < definition.size()) {
    char c = definition[at];
    if (c == '\'') {
      size_t end = definition.find('\'', at + 1);
      at = end == std::string_view::npos ? definition.size() : end + 1;
      continue;
    }
    if (isspace(static_cast<unsigned char>(c)) || c == '(' || c == ')') {
      ++at;
      continue;
    }
    size_t end = at;
    while (end < definition.size() && !isspace(static_cast<unsigned char>(definition[end])) &&
           definition[end] != '(' && definition[end] != ')' && definition[end] != '\'') {
      ++end;
    }
    if (definition.substr(at, end - at) == "NAME")
      return quotedNames(definition, end);
    at = end;
  }
  return {};
}

// The definition of `className` from "cn=schema". A server may ignore the
// filter and send every definition, so the one naming the class is taken.
int readClassDefinition(DirectoryRequests& directory, const std::string& className,
                        std::string& definition) {
  std::vector<DirectoryEntry> entries;
  int rc = directory.search("cn=schema", SearchScope::kBase,
                            "objectClasses=" + escapeFilterValue(className), {}, entries);
  if (rc != LDAP_SUCCESS || entries.empty())
    return kCannotReadSchema;
  const std::vector<std::string>* values = entries.front().values("objectClasses");
  const std::string* picked = values != nullptr ? pickClassDefinition(*values, className) : nullptr;
  if (picked == nullptr)
    return kCannotReadSchema;
  definition = *picked;
  return 0;
}

const char* containerClass(const std::string& rdnType) {
  for (const ContainerType& type : kContainerTypes) {
    if (strcasecmp(type.rdnType, rdnType.c_str()) == 0)
      return type.objectClass;
  }
  return nullptr;
}

// Makes sure the entry of one level exists, creating it when it is missing.
int createLevel(DirectoryRequests& directory, Host& host, const RdnPart& level) {
  std::vector<DirectoryEntry> entries;
  int rc = directory.search(level.levelDn, SearchScope::kBase, "", {}, entries);
  if (rc != LDAP_NO_SUCH_OBJECT)
    return rc;
  if (level.multiValued) {
    printAndLog(
        host, "The container \"%s\" cannot be created: its RDN \"%s\" holds more than one value\n",
        level.levelDn.c_str(), level.rdn.c_str());
    return kUnknownContainer;
  }
  const char* objectClass = containerClass(level.type);
  if (objectClass == nullptr)
    return kUnknownContainer;
  Modifications entry;
  entry.add(LDAP_MOD_ADD, "objectClass", {objectClass})
      .add(LDAP_MOD_ADD, level.type, {level.value});
  rc = directory.add(level.levelDn, entry.get());
  // Another host joining at the same moment may have made it since the read.
  return rc == LDAP_ALREADY_EXISTS ? 0 : rc;
}

}  // namespace

int formWorkstationDn(Host& host, const std::string& context, std::string& dn) {
  std::string shortName;
  int rc = readShortHostName(host, "Couldn't get the hostname", shortName);
  if (rc != 0)
    return rc;
  dn = workstationDn(shortName, context);
  if (dn.size() <= kMaxWorkstationDnLength)
    return 0;
  printAndLog(host, "The workstation DN \"%s\" is longer than %zu bytes\n", dn.c_str(),
              kMaxWorkstationDnLength);
  return kAlreadyReported;
}

int prepareContext(DirectoryRequests& directory, Host& host, ContextRole role,
                   const std::string& dn) {
  const ContextTexts& texts =
      role == ContextRole::kPartitionRoot ? kPartitionRootTexts : kWorkstationContextTexts;
  if (dn.empty()) {
    const char* objectClass = objectNames(SchemaFlavour::kRfc2307).*texts.objectClass;
    if (classAllowedAtTreeRoot(directory, objectClass) == 0)
      return 0;
    fputs(tr(texts.notAtTreeRootText), stdout);
    host.log(texts.notAtTreeRootText);
    return kAlreadyReported;
  }
  int rc = createContext(directory, host, dn);
  if (rc == LDAP_SUCCESS) {
    host.log(texts.createdLog);
  } else if (rc == LDAP_INVALID_DN_SYNTAX || rc == LDAP_INVALID_SYNTAX) {
    printf(tr(texts.invalidSyntaxFormat), dn.c_str());
    return kAlreadyReported;
  }
  return rc;
}

int createContext(DirectoryRequests& directory, Host& host, const std::string& dn) {
  int rc = isContainerObject(directory, dn);
  if (rc == LDAP_INVALID_SYNTAX)
    return LDAP_INVALID_DN_SYNTAX;
  if (rc != LDAP_NO_SUCH_OBJECT)
    return rc;
  announce("Creating the context...");
  std::vector<RdnPart> rdns;
  if (splitDn(dn, rdns) != 0 || rdns.empty())
    return kNotAContainer;
  for (auto level = rdns.rbegin(); level != rdns.rend(); ++level) {
    rc = createLevel(directory, host, *level);
    if (rc != 0)
      return rc;
  }
  reportDone();
  return 0;
}

int isContainerObject(DirectoryRequests& directory, const std::string& dn) {
  if (dn.empty())
    return 0;
  std::vector<DirectoryEntry> entries;
  int rc = directory.search(dn, SearchScope::kBase, "objectclass=*", {"objectClass"}, entries);
  if (rc != LDAP_SUCCESS)
    return rc;
  const std::vector<std::string>* classes =
      entries.empty() ? nullptr : entries.front().values("objectClass");
  if (classes == nullptr || classes->empty())
    return kCannotReadSchema;
  for (const std::string& objectClass : *classes) {
    std::string definition;
    rc = readClassDefinition(directory, objectClass, definition);
    if (rc != 0)
      return rc;
    if (contains(definition, "STRUCTURAL") && contains(definition, "X-VRD_NOT_CONTAINER"))
      return kNotAContainer;
  }
  return 0;
}

int classAllowedAtTreeRoot(DirectoryRequests& directory, const char* className) {
  std::string definition;
  int rc = readClassDefinition(directory, className, definition);
  if (rc != 0)
    return rc;
  if (!contains(definition, "STRUCTURAL"))
    return 1;
  size_t containment = definition.find("X-VRD_CONTAINMENT");
  if (containment == std::string::npos)
    return kNotAContainer;
  return definition.find("'treeRoot'", containment) != std::string::npos ? 0 : 1;
}

const std::string* pickClassDefinition(const std::vector<std::string>& definitions,
                                       std::string_view className) {
  for (const std::string& definition : definitions) {
    for (std::string_view name : definitionNames(definition)) {
      if (name.size() == className.size() &&
          strncasecmp(name.data(), className.data(), name.size()) == 0) {
        return &definition;
      }
    }
  }
  return nullptr;
}
