// Build-time generator of the compiled-in message table.
//
// Input: the message data file, one message a line:
//     NUMBER<TAB>TEXT
// TEXT is written with C escapes (\n \t \\ \" \r and \ooo octal); lines that
// are empty or begin with '#' are comments. A text never begins with its
// number and a colon (lookups add "NUMBER: "). Output: an include file of
// {number, "text"} initialisers sorted by number. A duplicate number or a
// malformed line fails the build with a message naming the line.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: msggen messages.txt out.inc\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::cerr << "msggen: cannot open " << argv[1] << "\n";
    return 1;
  }
  std::map<unsigned long, std::string> table;
  std::string line;
  int lineno = 0;
  while (std::getline(in, line)) {
    ++lineno;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    size_t tab = line.find('\t');
    char* end = nullptr;
    unsigned long n = std::strtoul(line.c_str(), &end, 10);
    if (tab == std::string::npos || end != line.c_str() + tab || tab == 0) {
      std::cerr << argv[1] << ":" << lineno << ": expected NUMBER<TAB>TEXT\n";
      return 1;
    }
    // Lookups put "NUMBER: " in front themselves.
    std::string prefix = std::to_string(n) + ":";
    if (line.compare(tab + 1, prefix.size(), prefix) == 0) {
      std::cerr << argv[1] << ":" << lineno << ": the text begins with its number\n";
      return 1;
    }
    if (!table.emplace(n, line.substr(tab + 1)).second) {
      std::cerr << argv[1] << ":" << lineno << ": duplicate message number " << n << "\n";
      return 1;
    }
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out << "// Generated from the message data file; do not edit.\n";
  for (const auto& [n, text] : table) {
    // The text already holds C escapes; a bare '"' or a trailing backslash
    // would break the literal, and an escape outside the documented set
    // would change the text silently, so check for them.
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\\') {
        if (i + 1 == text.size()) {
          std::cerr << "msggen: message " << n << " ends in a backslash\n";
          return 1;
        }
        ++i;
        if (std::strchr("nt\\\"r01234567", text[i]) == nullptr) {
          std::cerr << "msggen: message " << n << " has an unknown escape \\" << text[i] << "\n";
          return 1;
        }
      } else if (text[i] == '"') {
        std::cerr << "msggen: message " << n << " has an unescaped quote\n";
        return 1;
      }
    }
    out << "{" << n << "u, \"" << text << "\"},\n";
  }
  return out ? 0 : 1;
}
