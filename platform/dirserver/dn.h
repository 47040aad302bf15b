// Distinguished names (RFC 4514 string form): parsing, validation and the
// normalised form the store uses as its key.
//
// parseDn returns kSuccess or kInvalidDnSyntax. The normalised form has
// lower-cased attribute types, values case-folded with white space trimmed
// and collapsed, multi-valued RDNs sorted, and RDNs joined by ",". Two DNs
// name the same entry exactly when their normalised forms are equal. The
// empty DN (no RDN) is the root.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ombrel {

// Deeper names are refused as invalid syntax; no real tree comes near.
inline constexpr size_t kMaxRdns = 256;

struct Ava {
  std::string type;   // lower-cased attribute type
  std::string value;  // unescaped value, as written
};

struct Rdn {
  std::vector<Ava> avas;
  std::string raw;  // the RDN as written, without surrounding blanks
};

struct ParsedDn {
  std::vector<Rdn> rdns;  // leaf first
};

int parseDn(std::string_view text, ParsedDn* out);

std::string normalizedRdn(const Rdn& rdn);
// Normalised DN of rdns[first..]; first == rdns.size() gives "".
std::string normalizedDn(const ParsedDn& dn, size_t first = 0);
// The DN as written, from rdns[first..], joined by ",".
std::string rawDn(const ParsedDn& dn, size_t first = 0);

// Convenience: normalised form of text, or kInvalidDnSyntax.
int normalizeDn(std::string_view text, std::string* out);

bool isValidUtf8(std::string_view text);
std::string asciiLower(std::string_view text);
// Lower-cased ASCII with white space trimmed and runs collapsed to one
// blank: the form in which case-ignoring values are compared.
std::string foldCaseAndSpaces(std::string_view value);
bool equalsIgnoreCase(std::string_view a, std::string_view b);

}  // namespace ombrel
