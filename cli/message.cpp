#include "cli/message.h"

#include <cstring>

namespace kelvo_cli {

std::string MessagePrefix(std::string_view command) {
  std::string prefix = "kelvo-frame";
  if (!command.empty()) {
    prefix += ' ';
    prefix += command;
  }
  prefix += ": ";
  return prefix;
}

std::string MessageLine(std::string_view text, std::string_view command) {
  std::string line = MessagePrefix(command);
  line += text;
  line += '\n';
  return line;
}

std::string OutputFailureText(int error) {
  return std::string("cannot write to standard output: ") + std::strerror(error);
}

}  // namespace kelvo_cli
