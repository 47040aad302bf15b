// A directory entry as the store keeps it. Attributes are keyed by the
// lower-cased primary name of their type, so aliases and letter case of
// attribute names in requests do not matter; values keep their bytes.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace ombrel {

struct Attribute {
  std::string name;  // spelling shown to clients
  std::vector<std::string> values;
};

struct Entry {
  std::string dn;   // as written by the client that created it
  std::string ndn;  // normalised
  std::map<std::string, Attribute> attributes;

  const std::vector<std::string>* values(const std::string& key) const {
    auto it = attributes.find(key);
    return it == attributes.end() ? nullptr : &it->second.values;
  }
};

}  // namespace ombrel
