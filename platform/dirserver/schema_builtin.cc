// The schema the directory starts with: standard and RFC 2307 attribute
// types, the container and leaf classes with their containment rules, the
// server's own attributes, and the two id mapping definitions (kept
// byte for byte, since clients delete them by value).
#include <cstdio>
#include <cstdlib>

#include "schema.h"

namespace ombrel {
namespace {

constexpr const char* kDirectoryString = "1.3.6.1.4.1.1466.115.121.1.15";

struct AttributeSeed {
  const char* oid;
  const char* names;  // already quoted: "'cn' 'commonName'"
  const char* rest;   // EQUALITY/SYNTAX/flags
};

const AttributeSeed kAttributes[] = {
    {"2.5.4.0", "'objectClass'",
     "EQUALITY objectIdentifierMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.38"},
    {"2.5.4.3", "'cn' 'commonName'", "EQUALITY caseIgnoreMatch SYNTAX DS"},
    {"2.5.4.4", "'sn' 'surname'", "EQUALITY caseIgnoreMatch SYNTAX DS"},
    {"2.5.4.6", "'c' 'countryName'", "EQUALITY caseIgnoreMatch SYNTAX DS SINGLE-VALUE"},
    {"2.5.4.7", "'l' 'localityName'", "EQUALITY caseIgnoreMatch SYNTAX DS"},
    {"2.5.4.8", "'st' 'stateOrProvinceName'", "EQUALITY caseIgnoreMatch SYNTAX DS"},
    {"2.5.4.9", "'street'", "EQUALITY caseIgnoreMatch SYNTAX DS"},
    {"2.5.4.10", "'o' 'organizationName'", "EQUALITY caseIgnoreMatch SYNTAX DS"},
    {"2.5.4.11", "'ou' 'organizationalUnitName'", "EQUALITY caseIgnoreMatch SYNTAX DS"},
    {"2.5.4.12", "'title'", "EQUALITY caseIgnoreMatch SYNTAX DS"},
    {"2.5.4.13", "'description'", "EQUALITY caseIgnoreMatch SYNTAX DS"},
    {"2.5.4.20", "'telephoneNumber'", "EQUALITY caseIgnoreMatch SYNTAX DS"},
    {"2.5.4.31", "'member'",
     "EQUALITY distinguishedNameMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.12"},
    {"2.5.4.34", "'seeAlso'",
     "EQUALITY distinguishedNameMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.12"},
    {"2.5.4.35", "'userPassword'",
     "EQUALITY octetStringMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.40"},
    {"2.5.4.42", "'givenName'", "EQUALITY caseIgnoreMatch SYNTAX DS"},
    {"2.5.4.43", "'initials'", "EQUALITY caseIgnoreMatch SYNTAX DS"},
    {"0.9.2342.19200300.100.1.1", "'uid' 'userid'", "EQUALITY caseIgnoreMatch SYNTAX DS"},
    {"0.9.2342.19200300.100.1.3", "'mail'",
     "EQUALITY caseIgnoreIA5Match SYNTAX 1.3.6.1.4.1.1466.115.121.1.26"},
    {"0.9.2342.19200300.100.1.25", "'dc' 'domainComponent'",
     "EQUALITY caseIgnoreIA5Match SYNTAX 1.3.6.1.4.1.1466.115.121.1.26 SINGLE-VALUE"},
    {"2.16.840.1.113730.3.1.241", "'displayName'", "EQUALITY caseIgnoreMatch SYNTAX DS"},
    {"2.16.840.1.113730.3.1.3", "'employeeNumber'", "EQUALITY caseIgnoreMatch SYNTAX DS"},
    {"1.3.6.1.1.1.1.2", "'gecos'", "EQUALITY caseIgnoreIA5Match SYNTAX DS SINGLE-VALUE"},
    {"1.3.6.1.1.1.1.3", "'homeDirectory'",
     "EQUALITY caseExactIA5Match SYNTAX 1.3.6.1.4.1.1466.115.121.1.26 SINGLE-VALUE"},
    {"1.3.6.1.1.1.1.4", "'loginShell'",
     "EQUALITY caseExactIA5Match SYNTAX 1.3.6.1.4.1.1466.115.121.1.26 SINGLE-VALUE"},
    {"1.3.6.1.1.1.1.5", "'shadowLastChange'", "EQUALITY integerMatch SYNTAX INT SINGLE-VALUE"},
    {"1.3.6.1.1.1.1.6", "'shadowMin'", "EQUALITY integerMatch SYNTAX INT SINGLE-VALUE"},
    {"1.3.6.1.1.1.1.7", "'shadowMax'", "EQUALITY integerMatch SYNTAX INT SINGLE-VALUE"},
    {"1.3.6.1.1.1.1.8", "'shadowWarning'", "EQUALITY integerMatch SYNTAX INT SINGLE-VALUE"},
    {"1.3.6.1.1.1.1.9", "'shadowInactive'", "EQUALITY integerMatch SYNTAX INT SINGLE-VALUE"},
    {"1.3.6.1.1.1.1.10", "'shadowExpire'", "EQUALITY integerMatch SYNTAX INT SINGLE-VALUE"},
    {"1.3.6.1.1.1.1.11", "'shadowFlag'", "EQUALITY integerMatch SYNTAX INT SINGLE-VALUE"},
    {"1.3.6.1.1.1.1.12", "'memberUid'",
     "EQUALITY caseExactIA5Match SYNTAX 1.3.6.1.4.1.1466.115.121.1.26"},
    {"1.3.6.1.4.1.32473.1.1.4.1.1", "'ACL'", "EQUALITY caseExactMatch SYNTAX DS"},
    {"1.3.6.1.4.1.32473.1.1.4.1.2", "'indexDefinition'", "EQUALITY caseIgnoreMatch SYNTAX DS"},
    {"1.3.6.1.4.1.32473.1.1.4.1.3", "'dsaName'",
     "EQUALITY distinguishedNameMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.12 SINGLE-VALUE"},
    {"1.3.6.1.4.1.32473.1.1.4.1.4", "'uniqueID'", "EQUALITY caseIgnoreMatch SYNTAX DS"},
    {"1.3.6.1.4.1.32473.1.1.4.1.5", "'loginDisabled'",
     "EQUALITY booleanMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.7 SINGLE-VALUE"},
    {"1.3.6.1.4.1.32473.1.1.4.1.6", "'passwordExpirationTime'",
     "EQUALITY generalizedTimeMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.24 SINGLE-VALUE"},
    {"1.3.6.1.4.1.32473.1.1.4.1.7", "'loginExpirationTime'",
     "EQUALITY generalizedTimeMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.24 SINGLE-VALUE"},
    {"1.3.6.1.4.1.32473.1.1.4.1.8", "'groupMembership'",
     "EQUALITY distinguishedNameMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.12"},
    {"1.3.6.1.1.4", "'vendorVersion'", "EQUALITY caseExactIA5Match SYNTAX DS SINGLE-VALUE"},
    {"1.3.6.1.4.1.1466.101.120.5", "'namingContexts'",
     "SYNTAX 1.3.6.1.4.1.1466.115.121.1.12 USAGE dSAOperation"},
    {"1.3.6.1.4.1.1466.101.120.7", "'supportedExtension'",
     "SYNTAX 1.3.6.1.4.1.1466.115.121.1.38 USAGE dSAOperation"},
    {"1.3.6.1.4.1.1466.101.120.15", "'supportedLDAPVersion'", "SYNTAX INT USAGE dSAOperation"},
    {"2.5.18.10", "'subschemaSubentry'",
     "EQUALITY distinguishedNameMatch SYNTAX 1.3.6.1.4.1.1466.115.121.1.12 SINGLE-VALUE"},
    {"2.5.21.5", "'attributeTypes'", "SYNTAX 1.3.6.1.4.1.1466.115.121.1.3"},
    {"2.5.21.6", "'objectClasses'", "SYNTAX 1.3.6.1.4.1.1466.115.121.1.37"},
};

// The id mapping definitions, exactly as clients name them for deletion.
const char* const kMappingDefinitions[] = {
    "(1.3.6.1.4.1.32473.1.1.4.1.24 NAME 'gidNumber' SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 "
    "X-VRD_NAME 'GID' )",
    "( 1.3.6.1.1.1.1.0 NAME 'uidNumber' SYNTAX 1.3.6.1.4.1.1466.115.121.1.27 X-VRD_NAME 'UID' )",
};

#define VRD_CONTAINER_PLACES \
  "X-VRD_CONTAINMENT ( 'organization' 'organizationalUnit' 'domain' 'locality' )"

const char* const kObjectClasses[] = {
    "( 2.5.6.0 NAME 'top' ABSTRACT MUST objectClass )",
    "( 2.5.6.2 NAME 'country' SUP top STRUCTURAL MUST c MAY ( description $ seeAlso $ ACL ) "
    "X-VRD_CONTAINMENT 'treeRoot' )",
    "( 2.5.6.3 NAME 'locality' SUP top STRUCTURAL MAY ( l $ st $ street $ description $ seeAlso "
    "$ ACL ) X-VRD_CONTAINMENT ( 'country' 'organization' 'organizationalUnit' 'locality' "
    "'domain' 'treeRoot' ) )",
    "( 2.5.6.4 NAME 'organization' SUP top STRUCTURAL MUST o MAY ( description $ l $ st $ "
    "street $ telephoneNumber $ seeAlso $ ACL ) X-VRD_CONTAINMENT ( 'country' 'locality' "
    "'domain' 'treeRoot' ) )",
    "( 2.5.6.5 NAME 'organizationalUnit' SUP top STRUCTURAL MUST ou MAY ( description $ l $ st "
    "$ street $ telephoneNumber $ seeAlso $ ACL ) X-VRD_CONTAINMENT ( 'organization' "
    "'organizationalUnit' 'locality' 'domain' ) )",
    "( 0.9.2342.19200300.100.4.13 NAME 'domain' SUP top STRUCTURAL MUST dc MAY ( o $ "
    "description $ l $ seeAlso $ ACL ) X-VRD_CONTAINMENT ( 'domain' 'organization' "
    "'organizationalUnit' 'country' 'locality' 'treeRoot' ) )",
    "( 2.5.6.6 NAME 'person' SUP top STRUCTURAL MUST ( sn $ cn ) MAY ( userPassword $ "
    "telephoneNumber $ seeAlso $ description $ ACL ) " VRD_CONTAINER_PLACES
    " X-VRD_NOT_CONTAINER '1' )",
    "( 2.5.6.7 NAME 'organizationalPerson' SUP person STRUCTURAL MAY ( title $ ou $ l $ st $ "
    "street ) " VRD_CONTAINER_PLACES " X-VRD_NOT_CONTAINER '1' )",
    "( 2.16.840.1.113730.3.2.2 NAME 'inetOrgPerson' SUP organizationalPerson STRUCTURAL MAY ( "
    "mail $ uid $ givenName $ initials $ displayName $ employeeNumber $ uniqueID $ "
    "groupMembership $ loginDisabled $ passwordExpirationTime $ loginExpirationTime "
    ") " VRD_CONTAINER_PLACES " X-VRD_NOT_CONTAINER '1' )",
    "( 2.5.6.9 NAME 'groupOfNames' SUP top STRUCTURAL MUST cn MAY ( member $ description $ "
    "ACL ) " VRD_CONTAINER_PLACES " X-VRD_NOT_CONTAINER '1' )",
    "( 1.3.6.1.4.1.32473.1.1.6.1 NAME 'vrdServer' SUP top STRUCTURAL MUST cn MAY ( "
    "indexDefinition $ description $ ACL ) X-VRD_CONTAINMENT ( 'organization' "
    "'organizationalUnit' ) X-VRD_NOT_CONTAINER '1' )",
    "( 1.3.6.1.1.1.2.0 NAME 'posixAccount' SUP top AUXILIARY MUST ( cn $ uid $ uidNumber $ "
    "gidNumber $ homeDirectory ) MAY ( userPassword $ loginShell $ gecos $ description ) )",
    "( 1.3.6.1.1.1.2.1 NAME 'shadowAccount' SUP top AUXILIARY MUST uid MAY ( userPassword $ "
    "shadowLastChange $ shadowMin $ shadowMax $ shadowWarning $ shadowInactive $ shadowExpire "
    "$ shadowFlag $ description ) )",
    "( 1.3.6.1.1.1.2.2 NAME 'posixGroup' SUP top AUXILIARY MUST ( cn $ gidNumber ) MAY ( "
    "userPassword $ memberUid $ description ) )",
    "( 2.5.20.1 NAME 'subschema' AUXILIARY MAY ( attributeTypes $ objectClasses ) )",
};

std::string expandSyntax(std::string rest) {
  const std::pair<const char*, std::string> aliases[] = {
      {"SYNTAX DS", std::string("SYNTAX ") + kDirectoryString},
      {"SYNTAX INT", "SYNTAX 1.3.6.1.4.1.1466.115.121.1.27"},
  };
  for (const auto& [alias, full] : aliases) {
    size_t at = rest.find(alias);
    if (at != std::string::npos && (at + std::string(alias).size() == rest.size() ||
                                    rest[at + std::string(alias).size()] == ' ')) {
      rest.replace(at, std::string(alias).size(), full);
    }
  }
  return rest;
}

void mustAdd(int rc, const std::string& text, const std::string& error) {
  if (rc == 0)
    return;
  std::fprintf(stderr, "ombrel-server: built-in definition rejected (%s): %s\n", error.c_str(),
               text.c_str());
  std::abort();
}

}  // namespace

Schema builtinSchema() {
  Schema schema;
  std::string error;
  for (const AttributeSeed& seed : kAttributes) {
    std::string text = std::string("( ") + seed.oid + " NAME " +
                       (std::string(seed.names).find(' ') == std::string::npos
                            ? std::string(seed.names)
                            : "( " + std::string(seed.names) + " )") +
                       " " + expandSyntax(seed.rest) + " )";
    mustAdd(schema.addAttributeType(text, &error), text, error);
  }
  for (const char* text : kMappingDefinitions) {
    mustAdd(schema.addAttributeType(text, &error), text, error);
  }
  for (const char* text : kObjectClasses) {
    mustAdd(schema.addObjectClass(text, &error), text, error);
  }
  return schema;
}

}  // namespace ombrel
