// The store file's text held as lines, so that a save writes back every line
// it did not change byte for byte.
//
// A key line is a line whose first non-blank byte is not "#" and which holds
// "=" after a non-empty key; the key is the text before the first "=" with
// surrounding blanks removed, the value every byte after it. Every other line
// (comments, blank lines, anything else) is kept as it was. These functions
// do no I/O and cannot fail.
#ifndef KIV_STORE_H_
#define KIV_STORE_H_

#include <string>
#include <string_view>
#include <vector>

namespace kiv {

struct StoreLine {
  std::string text;  // without its line end
  bool terminated;   // false only for a last line that had no line end
};

struct Store {
  std::vector<StoreLine> lines;
};

// Splits file content into lines.
Store parseStore(std::string_view content);

// The file content for `store`: every line followed by "\n" unless it is
// unterminated.
std::string renderStore(const Store& store);

// Finds the value of the last line holding `key`; false when there is none.
bool findStoreValue(const Store& store, std::string_view key, std::string& value);

// Replaces the value of the last line holding `key`, keeping the line's text
// up to its "=", or appends "key=value" at the end. The caller checks that key
// and value hold no line ends.
void setStoreValue(Store& store, std::string_view key, std::string_view value);

}  // namespace kiv

#endif  // KIV_STORE_H_
