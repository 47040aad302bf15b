#include "ldif_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "dn.h"

namespace ombrel {
namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool decodeBase64(std::string_view text, std::string* out) {
  out->clear();
  unsigned buffer = 0;
  int bits = 0;
  size_t padding = 0;
  for (char c : text) {
    if (c == ' ')
      continue;
    if (c == '=') {
      ++padding;
      continue;
    }
    const char* at = std::strchr(kBase64, c);
    if (at == nullptr || c == '\0' || padding > 0)
      return false;
    buffer = (buffer << 6) | static_cast<unsigned>(at - kBase64);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out->push_back(static_cast<char>((buffer >> bits) & 0xff));
    }
  }
  return padding <= 2;
}

std::string encodeBase64(std::string_view data) {
  std::string out;
  size_t i = 0;
  for (; i + 2 < data.size(); i += 3) {
    unsigned n = (static_cast<unsigned char>(data[i]) << 16) |
                 (static_cast<unsigned char>(data[i + 1]) << 8) |
                 static_cast<unsigned char>(data[i + 2]);
    for (int shift = 18; shift >= 0; shift -= 6)
      out += kBase64[(n >> shift) & 63];
  }
  if (i < data.size()) {
    unsigned n = static_cast<unsigned char>(data[i]) << 16;
    if (i + 1 < data.size())
      n |= static_cast<unsigned char>(data[i + 1]) << 8;
    out += kBase64[(n >> 18) & 63];
    out += kBase64[(n >> 12) & 63];
    out += i + 1 < data.size() ? kBase64[(n >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

bool needsBase64(std::string_view value) {
  if (value.empty())
    return false;
  if (value.front() == ' ' || value.front() == ':' || value.front() == '<' || value.back() == ' ') {
    return true;
  }
  return std::any_of(value.begin(), value.end(), [](char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return u < 0x20 || u > 0x7e;
  });
}

struct Line {
  size_t number;
  std::string text;
};

// Splits the text into records of unfolded lines, without comments.
std::vector<std::vector<Line>> splitRecords(const std::string& text) {
  std::vector<std::vector<Line>> records(1);
  std::istringstream in(text);
  std::string raw;
  size_t number = 0;
  bool in_comment = false;
  while (std::getline(in, raw)) {
    ++number;
    if (!raw.empty() && raw.back() == '\r')
      raw.pop_back();
    if (raw.empty()) {
      if (!records.back().empty())
        records.emplace_back();
      in_comment = false;
      continue;
    }
    if (raw.front() == ' ') {
      if (!in_comment && !records.back().empty())
        records.back().back().text += raw.substr(1);
      continue;
    }
    in_comment = raw.front() == '#';
    if (!in_comment)
      records.back().push_back({number, raw});
  }
  if (records.back().empty())
    records.pop_back();
  return records;
}

int parseLine(const Line& line, std::string* type, std::string* value, std::string* error) {
  size_t colon = line.text.find(':');
  if (colon == std::string::npos || colon == 0) {
    *error = "line " + std::to_string(line.number) + ": no attribute type";
    return -1;
  }
  *type = line.text.substr(0, colon);
  std::string_view rest = std::string_view(line.text).substr(colon + 1);
  if (!rest.empty() && rest.front() == ':') {
    rest.remove_prefix(1);
    while (!rest.empty() && rest.front() == ' ')
      rest.remove_prefix(1);
    if (!decodeBase64(rest, value)) {
      *error = "line " + std::to_string(line.number) + ": invalid base64 value";
      return -1;
    }
    return 0;
  }
  if (!rest.empty() && rest.front() == '<') {
    *error = "line " + std::to_string(line.number) + ": URL values are not supported";
    return -1;
  }
  while (!rest.empty() && rest.front() == ' ')
    rest.remove_prefix(1);
  *value = std::string(rest);
  return 0;
}

template <typename Def, typename Parse, typename Find, typename Remove, typename Add>
int mergeDefinition(const std::string& text, Parse parse, Find find, Remove remove, Add add,
                    std::string* error) {
  Def def;
  if (parse(text, &def, error) != 0)
    return -1;
  std::vector<std::string> keys = def.names;
  keys.push_back(def.oid);
  for (const std::string& key : keys) {
    if (const Def* old = find(key))
      remove(std::string(old->text));
  }
  return add(text, error) == 0 ? 0 : -1;
}

int loadSchemaRecord(Directory* dir, const std::vector<Attribute>& attributes, std::string* error) {
  Schema& schema = dir->schema;
  for (const Attribute& attr : attributes) {
    bool types = equalsIgnoreCase(attr.name, "attributeTypes");
    bool classes = equalsIgnoreCase(attr.name, "objectClasses");
    if (!types && !classes)
      continue;
    for (const std::string& text : attr.values) {
      int rc = types ? mergeDefinition<AttributeTypeDef>(
                           text, parseAttributeTypeDefinition,
                           [&](const std::string& k) { return schema.attributeType(k); },
                           [&](const std::string& t) { schema.removeAttributeType(t); },
                           [&](const std::string& t, std::string* e) {
                             return schema.addAttributeType(t, e);
                           },
                           error)
                     : mergeDefinition<ObjectClassDef>(
                           text, parseObjectClassDefinition,
                           [&](const std::string& k) { return schema.objectClass(k); },
                           [&](const std::string& t) { schema.removeObjectClass(t); },
                           [&](const std::string& t, std::string* e) {
                             return schema.addObjectClass(t, e);
                           },
                           error);
      if (rc != 0) {
        *error = "schema definition rejected (" + *error + "): " + text;
        return -1;
      }
    }
  }
  return 0;
}

int loadRecord(Directory* dir, const std::vector<Line>& record, std::string* error) {
  std::string dn;
  std::vector<Attribute> attributes;
  bool have_dn = false;
  for (const Line& line : record) {
    std::string type;
    std::string value;
    if (parseLine(line, &type, &value, error) != 0)
      return -1;
    if (!have_dn) {
      if (equalsIgnoreCase(type, "version"))
        continue;
      if (!equalsIgnoreCase(type, "dn")) {
        *error = "line " + std::to_string(line.number) + ": a record starts with \"dn:\"";
        return -1;
      }
      dn = value;
      have_dn = true;
      continue;
    }
    if (equalsIgnoreCase(type, "changetype")) {
      *error = "line " + std::to_string(line.number) + ": only content records can be loaded";
      return -1;
    }
    auto same = std::find_if(attributes.begin(), attributes.end(),
                             [&](const Attribute& a) { return equalsIgnoreCase(a.name, type); });
    if (same == attributes.end()) {
      attributes.push_back({type, {value}});
    } else {
      same->values.push_back(value);
    }
  }
  if (!have_dn)
    return 0;  // a lone "version: 1"
  std::string ndn;
  if (normalizeDn(dn, &ndn) == kSuccess && ndn == kSchemaDn) {
    return loadSchemaRecord(dir, attributes, error);
  }
  OpResult result;
  if (addEntry(dir, dn, attributes, &result) != kSuccess) {
    *error = "line " + std::to_string(record.front().number) + ": entry \"" + dn + "\" refused (" +
             std::to_string(result.code) + ", " + result.message + ")";
    return -1;
  }
  return 0;
}

void appendValue(std::string* out, const std::string& name, const std::string& value) {
  if (needsBase64(value)) {
    *out += name + ":: " + encodeBase64(value) + "\n";
  } else {
    *out += name + ": " + value + "\n";
  }
}

void appendEntry(std::string* out, const std::string& dn,
                 std::vector<std::pair<std::string, std::vector<std::string>>> attributes) {
  appendValue(out, "dn", dn);
  std::sort(attributes.begin(), attributes.end(),
            [](const auto& a, const auto& b) { return asciiLower(a.first) < asciiLower(b.first); });
  for (auto& [name, values] : attributes) {
    std::sort(values.begin(), values.end());
    for (const std::string& value : values)
      appendValue(out, name, value);
  }
  *out += "\n";
}

std::vector<std::string> hierarchyKey(const Entry& entry) {
  ParsedDn parsed;
  std::vector<std::string> key;
  if (parseDn(entry.dn, &parsed) != kSuccess)
    return {entry.ndn};
  for (auto it = parsed.rdns.rbegin(); it != parsed.rdns.rend(); ++it) {
    key.push_back(normalizedRdn(*it));
  }
  return key;
}

}  // namespace

int loadLdif(Directory* dir, const std::string& text, std::string* error) {
  for (const std::vector<Line>& record : splitRecords(text)) {
    if (loadRecord(dir, record, error) != 0)
      return -1;
  }
  return 0;
}

int loadLdifFile(Directory* dir, const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = path + ": " + std::strerror(errno);
    return -1;
  }
  std::ostringstream text;
  text << in.rdbuf();
  if (loadLdif(dir, text.str(), error) != 0) {
    *error = path + ": " + *error;
    return -1;
  }
  return 0;
}

std::string dumpLdif(const Directory& dir) {
  std::vector<std::pair<std::vector<std::string>, const Entry*>> sorted;
  for (const auto& [ndn, entry] : dir.entries)
    sorted.emplace_back(hierarchyKey(entry), &entry);
  std::sort(sorted.begin(), sorted.end());
  std::string out = "version: 1\n\n";
  std::vector<std::string> types;
  for (const AttributeTypeDef& def : dir.schema.attributeTypes())
    types.push_back(def.text);
  std::vector<std::string> classes;
  for (const ObjectClassDef& def : dir.schema.objectClasses())
    classes.push_back(def.text);
  appendEntry(&out, kSchemaDn,
              {{"attributeTypes", types},
               {"cn", {"schema"}},
               {"objectClass", {"subschema", "top"}},
               {"objectClasses", classes}});
  for (const auto& [key, entry] : sorted) {
    std::vector<std::pair<std::string, std::vector<std::string>>> attributes;
    for (const auto& [attr_key, attr] : entry->attributes) {
      attributes.emplace_back(attr.name, attr.values);
    }
    appendEntry(&out, entry->dn, std::move(attributes));
  }
  return out;
}

int writeFileAtomically(const std::string& path, const std::string& text, std::string* error) {
  std::string temp = path + ".tmp." + std::to_string(getpid());
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = temp + ": " + std::strerror(errno);
    return -1;
  }
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      *error = temp + ": " + std::strerror(n < 0 ? errno : ENOSPC);
      close(fd);
      unlink(temp.c_str());
      return -1;
    }
    done += static_cast<size_t>(n);
  }
  int synced = fsync(fd);
  int sync_errno = errno;
  if (close(fd) != 0 || synced != 0) {
    *error = temp + ": " + std::strerror(synced != 0 ? sync_errno : errno);
    unlink(temp.c_str());
    return -1;
  }
  if (rename(temp.c_str(), path.c_str()) != 0) {
    *error = path + ": " + std::strerror(errno);
    unlink(temp.c_str());
    return -1;
  }
  return 0;
}

}  // namespace ombrel
