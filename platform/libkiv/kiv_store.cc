#include "kiv_store.h"

namespace kiv {
namespace {

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (isBlank(text.back()) || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

// Position of the "=" ending the key of a key line, or npos for other lines.
size_t keyLineSeparator(std::string_view line, std::string_view& key) {
  std::string_view body = trimBlanks(line);
  if (body.empty() || body.front() == '#') {
    return std::string_view::npos;
  }
  size_t equals = line.find('=');
  if (equals == std::string_view::npos) {
    return equals;
  }
  key = trimBlanks(line.substr(0, equals));
  return key.empty() ? std::string_view::npos : equals;
}

// Index of the last line holding `key`, or lines.size() when there is none.
size_t lastKeyLine(const Store& store, std::string_view key) {
  for (size_t i = store.lines.size(); i-- > 0;) {
    std::string_view lineKey;
    if (keyLineSeparator(store.lines[i].text, lineKey) != std::string_view::npos &&
        lineKey == key) {
      return i;
    }
  }
  return store.lines.size();
}

}  // namespace

Store parseStore(std::string_view content) {
  Store store;
  while (!content.empty()) {
    size_t end = content.find('\n');
    if (end == std::string_view::npos) {
      store.lines.push_back({std::string(content), false});
      break;
    }
    store.lines.push_back({std::string(content.substr(0, end)), true});
    content.remove_prefix(end + 1);
  }
  return store;
}

std::string renderStore(const Store& store) {
  std::string content;
  for (const StoreLine& line : store.lines) {
    content += line.text;
    if (line.terminated) {
      content += '\n';
    }
  }
  return content;
}

bool findStoreValue(const Store& store, std::string_view key, std::string& value) {
  size_t index = lastKeyLine(store, key);
  if (index == store.lines.size()) {
    return false;
  }
  std::string_view lineKey;
  const std::string& text = store.lines[index].text;
  value = text.substr(keyLineSeparator(text, lineKey) + 1);
  return true;
}

void setStoreValue(Store& store, std::string_view key, std::string_view value) {
  size_t index = lastKeyLine(store, key);
  if (index < store.lines.size()) {
    std::string_view lineKey;
    std::string& text = store.lines[index].text;
    text.resize(keyLineSeparator(text, lineKey) + 1);
    text += value;
    return;
  }
  if (!store.lines.empty()) {
    store.lines.back().terminated = true;
  }
  std::string text(key);
  text += '=';
  text += value;
  store.lines.push_back({std::move(text), true});
}

}  // namespace kiv
