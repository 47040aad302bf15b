#include "schema_definition.h"

#include <cctype>
#include <utility>

#include "dn.h"
#include "result_codes.h"

namespace ombrel {
namespace {

struct Token {
  enum Kind { kOpen, kClose, kDollar, kQuoted, kWord } kind;
  std::string text;
};

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

int tokenize(std::string_view text, std::vector<Token>* tokens, std::string* error) {
  size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (isBlank(c)) {
      ++i;
    } else if (c == '(' || c == ')' || c == '$') {
      tokens->push_back({c == '(' ? Token::kOpen : c == ')' ? Token::kClose : Token::kDollar, ""});
      ++i;
    } else if (c == '\'') {
      size_t end = text.find('\'', i + 1);
      if (end == std::string_view::npos) {
        *error = "unterminated quoted string";
        return kInvalidAttributeSyntax;
      }
      tokens->push_back({Token::kQuoted, std::string(text.substr(i + 1, end - i - 1))});
      i = end + 1;
    } else {
      size_t start = i;
      while (i < text.size() && !isBlank(text[i]) && text[i] != '(' && text[i] != ')' &&
             text[i] != '$' && text[i] != '\'') {
        ++i;
      }
      tokens->push_back({Token::kWord, std::string(text.substr(start, i - start))});
    }
  }
  return kSuccess;
}

// One keyword and its values; flags have none.
struct Field {
  std::string keyword;  // upper case as written
  std::vector<std::string> values;
};

struct Definition {
  std::string oid;
  std::vector<Field> fields;
};

bool isFlag(const std::string& keyword) {
  return keyword == "OBSOLETE" || keyword == "SINGLE-VALUE" || keyword == "COLLECTIVE" ||
         keyword == "NO-USER-MODIFICATION" || keyword == "ABSTRACT" || keyword == "STRUCTURAL" ||
         keyword == "AUXILIARY";
}

bool takesQuoted(const std::string& keyword) {
  return keyword == "NAME" || keyword == "DESC" || keyword.rfind("X-", 0) == 0;
}

int parseDefinition(std::string_view text, Definition* out, std::string* error) {
  std::vector<Token> tokens;
  if (tokenize(text, &tokens, error) != kSuccess)
    return kInvalidAttributeSyntax;
  size_t i = 0;
  auto fail_with = [error](std::string why) {
    *error = std::move(why);
    return kInvalidAttributeSyntax;
  };
  if (tokens.size() < 3 || tokens[0].kind != Token::kOpen || tokens[1].kind != Token::kWord) {
    return fail_with("a definition starts with \"(\" and an OID");
  }
  out->oid = tokens[1].text;
  i = 2;
  while (i < tokens.size() && tokens[i].kind != Token::kClose) {
    if (tokens[i].kind != Token::kWord)
      return fail_with("keyword expected");
    Field field{tokens[i].text, {}};
    ++i;
    if (!isFlag(field.keyword)) {
      bool quoted = takesQuoted(field.keyword);
      if (i >= tokens.size())
        return fail_with("value expected after " + field.keyword);
      if (tokens[i].kind == Token::kOpen) {
        ++i;
        while (i < tokens.size() && tokens[i].kind != Token::kClose) {
          if (tokens[i].kind == Token::kQuoted || tokens[i].kind == Token::kWord) {
            if (quoted != (tokens[i].kind == Token::kQuoted) && field.keyword.rfind("X-", 0) != 0) {
              return fail_with("wrong value form in " + field.keyword);
            }
            field.values.push_back(tokens[i].text);
          } else if (tokens[i].kind != Token::kDollar) {
            return fail_with("bad list in " + field.keyword);
          }
          ++i;
        }
        if (i >= tokens.size())
          return fail_with("unterminated list in " + field.keyword);
        ++i;
      } else if (tokens[i].kind == Token::kQuoted || tokens[i].kind == Token::kWord) {
        if (quoted != (tokens[i].kind == Token::kQuoted) && field.keyword.rfind("X-", 0) != 0) {
          return fail_with("wrong value form in " + field.keyword);
        }
        field.values.push_back(tokens[i].text);
        ++i;
      } else {
        return fail_with("value expected after " + field.keyword);
      }
    }
    out->fields.push_back(std::move(field));
  }
  if (i + 1 != tokens.size())
    return fail_with("text after the closing parenthesis");
  return kSuccess;
}

std::string firstValue(const Field& field) {
  return field.values.empty() ? std::string() : field.values.front();
}

}  // namespace

int parseAttributeTypeDefinition(std::string_view text, AttributeTypeDef* out, std::string* error) {
  Definition def;
  if (parseDefinition(text, &def, error) != kSuccess)
    return kInvalidAttributeSyntax;
  *out = AttributeTypeDef{};
  out->oid = def.oid;
  out->text = std::string(text);
  for (const Field& field : def.fields) {
    const std::string& k = field.keyword;
    if (k == "NAME") {
      out->names = field.values;
    } else if (k == "SUP") {
      out->sup = firstValue(field);
    } else if (k == "EQUALITY") {
      out->equality = firstValue(field);
    } else if (k == "SYNTAX") {
      out->syntax = firstValue(field);
    } else if (k == "SINGLE-VALUE") {
      out->single_value = true;
    } else if (k != "DESC" && k != "OBSOLETE" && k != "ORDERING" && k != "SUBSTR" &&
               k != "COLLECTIVE" && k != "NO-USER-MODIFICATION" && k != "USAGE" &&
               k.rfind("X-", 0) != 0) {
      *error = "unknown keyword " + k + " in an attribute type";
      return kInvalidAttributeSyntax;
    }
  }
  return kSuccess;
}

int parseObjectClassDefinition(std::string_view text, ObjectClassDef* out, std::string* error) {
  Definition def;
  if (parseDefinition(text, &def, error) != kSuccess)
    return kInvalidAttributeSyntax;
  *out = ObjectClassDef{};
  out->oid = def.oid;
  out->text = std::string(text);
  for (const Field& field : def.fields) {
    const std::string& k = field.keyword;
    if (k == "NAME") {
      out->names = field.values;
    } else if (k == "SUP") {
      out->sups = field.values;
    } else if (k == "MUST") {
      out->must = field.values;
    } else if (k == "MAY") {
      out->may = field.values;
    } else if (k == "STRUCTURAL") {
      out->kind = ClassKind::kStructural;
    } else if (k == "AUXILIARY") {
      out->kind = ClassKind::kAuxiliary;
    } else if (k == "ABSTRACT") {
      out->kind = ClassKind::kAbstract;
    } else if (k == "X-VRD_CONTAINMENT") {
      out->has_containment = true;
      out->containment = field.values;
    } else if (k == "X-VRD_NOT_CONTAINER") {
      out->not_container = field.values.empty() || field.values.front() != "0";
    } else if (k != "DESC" && k != "OBSOLETE" && k.rfind("X-", 0) != 0) {
      *error = "unknown keyword " + k + " in an object class";
      return kInvalidAttributeSyntax;
    }
  }
  return kSuccess;
}

std::string canonicalDefinitionText(std::string_view text) {
  std::string spaced;
  bool quoted = false;
  for (char c : text) {
    if (c == '\'')
      quoted = !quoted;
    if (!quoted && (c == '(' || c == ')')) {
      spaced += ' ';
      spaced += c;
      spaced += ' ';
    } else {
      spaced += isBlank(c) && !quoted ? ' ' : c;
    }
  }
  std::string out;
  quoted = false;
  for (char c : spaced) {
    if (c == '\'')
      quoted = !quoted;
    if (c == ' ' && !quoted && (out.empty() || out.back() == ' '))
      continue;
    out += c;
  }
  while (!out.empty() && out.back() == ' ')
    out.pop_back();
  return out;
}

bool definitionHasName(std::string_view text, std::string_view name) {
  Definition def;
  std::string error;
  if (parseDefinition(text, &def, &error) != kSuccess)
    return false;
  if (equalsIgnoreCase(def.oid, name))
    return true;
  for (const Field& field : def.fields) {
    if (field.keyword != "NAME")
      continue;
    for (const std::string& value : field.values) {
      if (equalsIgnoreCase(value, name))
        return true;
    }
  }
  return false;
}

}  // namespace ombrel
