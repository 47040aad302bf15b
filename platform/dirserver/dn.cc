#include "dn.h"

#include <algorithm>
#include <cctype>

#include "result_codes.h"

namespace ombrel {
namespace {

bool isSpace(char c) {
  return c == ' ';
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

bool isSpecial(char c) {
  return c == ',' || c == '+' || c == '"' || c == '\\' || c == '<' || c == '>' || c == ';' ||
         c == '=';
}

class DnScanner {
 public:
  explicit DnScanner(std::string_view text) : text_(text) {}

  int parse(ParsedDn* out) {
    skipSpaces();
    if (atEnd())
      return kSuccess;
    while (true) {
      Rdn rdn;
      size_t start = pos_;
      while (true) {
        Ava ava;
        if (parseType(&ava.type) != kSuccess || parseValue(&ava.value) != kSuccess) {
          return kInvalidDnSyntax;
        }
        rdn.avas.push_back(std::move(ava));
        if (!atEnd() && text_[pos_] == '+') {
          ++pos_;
          continue;
        }
        break;
      }
      rdn.raw = trimmed(text_.substr(start, pos_ - start));
      out->rdns.push_back(std::move(rdn));
      if (out->rdns.size() > kMaxRdns)
        return kInvalidDnSyntax;
      if (atEnd())
        return kSuccess;
      if (text_[pos_] != ',' && text_[pos_] != ';')
        return kInvalidDnSyntax;
      ++pos_;
    }
  }

 private:
  bool atEnd() const { return pos_ >= text_.size(); }
  void skipSpaces() {
    while (!atEnd() && isSpace(text_[pos_]))
      ++pos_;
  }
  static std::string trimmed(std::string_view s) {
    while (!s.empty() && isSpace(s.front()))
      s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()) && !(s.size() >= 2 && s[s.size() - 2] == '\\')) {
      s.remove_suffix(1);
    }
    return std::string(s);
  }

  int parseType(std::string* type) {
    skipSpaces();
    size_t start = pos_;
    if (atEnd())
      return kInvalidDnSyntax;
    if (std::isalpha(static_cast<unsigned char>(text_[pos_]))) {
      while (!atEnd() &&
             (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '-')) {
        ++pos_;
      }
    } else if (std::isdigit(static_cast<unsigned char>(text_[pos_]))) {
      while (!atEnd() &&
             (std::isdigit(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '.')) {
        ++pos_;
      }
    } else {
      return kInvalidDnSyntax;
    }
    *type = asciiLower(text_.substr(start, pos_ - start));
    skipSpaces();
    if (atEnd() || text_[pos_] != '=')
      return kInvalidDnSyntax;
    ++pos_;
    skipSpaces();
    return kSuccess;
  }

  int parseEscape(std::string* value) {
    ++pos_;  // the backslash
    if (atEnd())
      return kInvalidDnSyntax;
    char c = text_[pos_];
    if (isSpecial(c) || c == ' ' || c == '#') {
      value->push_back(c);
      ++pos_;
      return kSuccess;
    }
    if (pos_ + 1 >= text_.size())
      return kInvalidDnSyntax;
    int high = hexDigit(c);
    int low = hexDigit(text_[pos_ + 1]);
    if (high < 0 || low < 0)
      return kInvalidDnSyntax;
    value->push_back(static_cast<char>(high * 16 + low));
    pos_ += 2;
    return kSuccess;
  }

  int parseValue(std::string* value) {
    if (!atEnd() && text_[pos_] == '"') {
      ++pos_;
      while (!atEnd() && text_[pos_] != '"') {
        if (text_[pos_] == '\\') {
          if (parseEscape(value) != kSuccess)
            return kInvalidDnSyntax;
        } else {
          value->push_back(text_[pos_++]);
        }
      }
      if (atEnd())
        return kInvalidDnSyntax;
      ++pos_;
      skipSpaces();
    } else {
      size_t kept = 0;  // length up to the last escaped or non-blank byte
      while (!atEnd() && text_[pos_] != ',' && text_[pos_] != ';' && text_[pos_] != '+') {
        char c = text_[pos_];
        if (c == '\\') {
          if (parseEscape(value) != kSuccess)
            return kInvalidDnSyntax;
          kept = value->size();
        } else if (c == '"' || c == '<' || c == '>' || c == '=' || c == '\0') {
          return kInvalidDnSyntax;
        } else {
          value->push_back(c);
          ++pos_;
          if (c != ' ')
            kept = value->size();
        }
      }
      value->resize(kept);
    }
    if (value->empty() || !isValidUtf8(*value))
      return kInvalidDnSyntax;
    return kSuccess;
  }

  std::string_view text_;
  size_t pos_ = 0;
};

std::string escapedValue(std::string_view value) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < value.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(value[i]);
    if (c < 0x20 || c == 0x7f) {
      out += '\\';
      out += kHex[c >> 4];
      out += kHex[c & 15];
      continue;
    }
    if (isSpecial(static_cast<char>(c)) || (i == 0 && c == '#'))
      out += '\\';
    out += static_cast<char>(c);
  }
  return out;
}

}  // namespace

int parseDn(std::string_view text, ParsedDn* out) {
  out->rdns.clear();
  DnScanner scanner(text);
  int rc = scanner.parse(out);
  if (rc != kSuccess)
    out->rdns.clear();
  return rc;
}

std::string normalizedRdn(const Rdn& rdn) {
  std::vector<std::string> parts;
  for (const Ava& ava : rdn.avas) {
    parts.push_back(ava.type + "=" + escapedValue(foldCaseAndSpaces(ava.value)));
  }
  std::sort(parts.begin(), parts.end());
  std::string out;
  for (const std::string& part : parts) {
    if (!out.empty())
      out += '+';
    out += part;
  }
  return out;
}

std::string normalizedDn(const ParsedDn& dn, size_t first) {
  std::string out;
  for (size_t i = first; i < dn.rdns.size(); ++i) {
    if (!out.empty())
      out += ',';
    out += normalizedRdn(dn.rdns[i]);
  }
  return out;
}

std::string rawDn(const ParsedDn& dn, size_t first) {
  std::string out;
  for (size_t i = first; i < dn.rdns.size(); ++i) {
    if (i > first)
      out += ',';
    out += dn.rdns[i].raw;
  }
  return out;
}

int normalizeDn(std::string_view text, std::string* out) {
  ParsedDn parsed;
  int rc = parseDn(text, &parsed);
  if (rc != kSuccess)
    return rc;
  *out = normalizedDn(parsed);
  return kSuccess;
}

bool isValidUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t extra = 0;
    unsigned min = 0;
    if (c < 0x80) {
      ++i;
      continue;
    } else if ((c & 0xe0) == 0xc0) {
      extra = 1;
      min = 0x80;
    } else if ((c & 0xf0) == 0xe0) {
      extra = 2;
      min = 0x800;
    } else if ((c & 0xf8) == 0xf0) {
      extra = 3;
      min = 0x10000;
    } else {
      return false;
    }
    if (i + extra >= text.size())
      return false;
    unsigned code = c & (0x3f >> extra);
    for (size_t k = 1; k <= extra; ++k) {
      unsigned char next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xc0) != 0x80)
        return false;
      code = (code << 6) | (next & 0x3f);
    }
    if (code < min || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
      return false;
    i += extra + 1;
  }
  return true;
}

std::string foldCaseAndSpaces(std::string_view value) {
  std::string out;
  bool pending_space = false;
  for (char c : value) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      pending_space = !out.empty();
      continue;
    }
    if (pending_space)
      out.push_back(' ');
    pending_space = false;
    out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  return out;
}

std::string asciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && asciiLower(a) == asciiLower(b);
}

}  // namespace ombrel
