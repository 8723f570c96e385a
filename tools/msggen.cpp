// Build-time generator of the compiled-in message table.
//
// Input: the message data file, one message a line:
//     NUMBER<TAB>TEXT
// TEXT is written with C escapes (\n \t \\ \" \r and \ooo octal); lines that
// are empty or begin with '#' are comments. A text never begins with its
// number and a colon (lookups add "NUMBER: "). Output: an include file of
// {number, "text"} initialisers sorted by number. A duplicate number or a
// malformed line fails the build with a message naming the line.
//
// With a third argument it also writes a header naming the parser's
// messages (P<n> is message 220120 + n): enum ParserMessage with one
// enumerator P<n>_WORDS = n a message, WORDS made from the text (see
// message_name_words) so that a call site says which message it gives.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr unsigned long kFirstParserMessage = 220120;
constexpr unsigned long kParserMessageRange = 1000;
// At most this many words are taken from one clause of a text.
constexpr size_t kClauseWords = 6;

// The words of a text, clause by clause. Clauses end at ';' and ':'. A word
// is a run of letters and digits, upper-cased; C escapes, conversions
// ("%s", "%d", "%%") and the articles A, AN and THE are left out, and a
// clause keeps its first kClauseWords words.
std::vector<std::vector<std::string>> message_clauses(const std::string& text) {
  std::vector<std::vector<std::string>> clauses(1);
  std::string word;
  auto end_word = [&] {
    if (word.empty()) return;
    if (word != "A" && word != "AN" && word != "THE" && clauses.back().size() < kClauseWords)
      clauses.back().push_back(word);
    word.clear();
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c == '\\' || c == '%') && i + 1 < text.size()) {
      end_word();
      ++i;  // the escaped character or the conversion letter
      continue;
    }
    if (std::isalnum(c)) {
      word += static_cast<char>(std::toupper(c));
      continue;
    }
    end_word();
    if ((c == ';' || c == ':') && !clauses.back().empty()) clauses.emplace_back();
  }
  end_word();
  if (clauses.back().empty() && clauses.size() > 1) clauses.pop_back();
  return clauses;
}

// The name of each parser message: "P<n>_" and the words of its first
// clause. Messages whose names would be the same though their texts differ
// take their next clause too, until the names differ or the clauses run out.
std::map<unsigned long, std::string> message_names(
    const std::map<unsigned long, std::string>& table) {
  struct Entry {
    std::vector<std::vector<std::string>> clauses;
    size_t used = 1;
    std::string words;
  };
  std::map<unsigned long, Entry> entries;
  for (const auto& [n, text] : table) {
    if (n < kFirstParserMessage || n >= kFirstParserMessage + kParserMessageRange) continue;
    entries[n - kFirstParserMessage].clauses = message_clauses(text);
  }
  auto words_of = [](const Entry& e) {
    std::string w;
    for (size_t k = 0; k < e.used && k < e.clauses.size(); ++k)
      for (const std::string& word : e.clauses[k]) w += "_" + word;
    return w;
  };
  for (bool grown = true; grown;) {
    grown = false;
    std::map<std::string, std::vector<unsigned long>> by_words;
    for (auto& [n, e] : entries) by_words[e.words = words_of(e)].push_back(n);
    for (const auto& [words, ns] : by_words) {
      if (ns.size() < 2) continue;
      for (unsigned long n : ns) {
        Entry& e = entries[n];
        if (e.used < e.clauses.size()) {
          ++e.used;
          grown = true;
        }
      }
    }
  }
  std::map<unsigned long, std::string> names;
  for (const auto& [n, e] : entries) {
    // Built from the number's digits: g++ 12 warns (-Wrestrict, wrongly)
    // when a string literal is joined to a string here.
    std::string name = std::to_string(n);
    name.insert(name.begin(), 'P');
    name += e.words;
    names[n] = std::move(name);
  }
  return names;
}

bool write_names(const char* path, const std::map<unsigned long, std::string>& table) {
  const std::map<unsigned long, std::string> names = message_names(table);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << "// Generated from the message data file; do not edit.\n"
         "// The parser's messages: P<n> is catalogue message "
      << kFirstParserMessage << " + n.\n"
         "#pragma once\n\n"
         "enum ParserMessage : int {\n";
  unsigned long count = 0;
  for (const auto& [n, name] : names) {
    out << "  " << name << " = " << n << ",\n";
    count = n + 1;
  }
  out << "};\n\n// One more than the highest parser message number.\n"
         "constexpr int kParserMessageCount = "
      << count << ";\n";
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::cerr << "usage: msggen messages.txt out.inc [parser_messages.h]\n";
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
  if (!out) return 1;
  if (argc == 4 && !write_names(argv[3], table)) {
    std::cerr << "msggen: cannot write " << argv[3] << "\n";
    return 1;
  }
  return 0;
}
