// A writable argv for tests, as main would see it: program name first.
#ifndef KIVCONFIG_CLI_TEST_COMMAND_LINE_H_
#define KIVCONFIG_CLI_TEST_COMMAND_LINE_H_

#include <initializer_list>
#include <string>
#include <vector>

class CommandLine {
 public:
  CommandLine(std::initializer_list<std::string> words) : words_{"kivconfig"} {
    words_.insert(words_.end(), words.begin(), words.end());
    for (std::string& word : words_)
      pointers_.push_back(word.data());
    pointers_.push_back(nullptr);
  }
  int argc() const { return static_cast<int>(words_.size()); }
  char** argv() { return pointers_.data(); }

 private:
  std::vector<std::string> words_;
  std::vector<char*> pointers_;
};

#endif  // KIVCONFIG_CLI_TEST_COMMAND_LINE_H_
