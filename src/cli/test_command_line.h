// Writable argv vectors for tests, as main would see them.
#ifndef KIVCONFIG_CLI_TEST_COMMAND_LINE_H_
#define KIVCONFIG_CLI_TEST_COMMAND_LINE_H_

#include <string>
#include <vector>

// The program name, then `words`, then the null slot; it points into `words`.
inline std::vector<char*> argvOf(std::vector<std::string>& words) {
  std::vector<char*> argv{const_cast<char*>("kivconfig")};
  for (std::string& word : words)
    argv.push_back(word.data());
  argv.push_back(nullptr);
  return argv;
}

#endif  // KIVCONFIG_CLI_TEST_COMMAND_LINE_H_
