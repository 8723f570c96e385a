// A plain reference tokenizer for the tag stream, written straight from the
// format's state table over an in-memory string. It shares no code with the
// product: the tests compare the two token for token.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace ref {

struct DelimiterSet {
  char open;
  char end;  // 0: the set has no end marker
  char close;
  std::map<std::string, int> names;
};

struct Token {
  int kind;  // 0 end known, 1 end unknown, 2 start known, 3 start unknown,
             // 4 text, 5 malformed, 6 end of input
  std::string text;
  int id;
  bool operator==(const Token&) const = default;
};

// Next state of the tag state machine; ch is a byte 0-255 or -1 at end.
int next_state(int state, int ch, const DelimiterSet& set);

std::vector<Token> tokenize(const std::string& input, const std::vector<DelimiterSet>& sets);

std::string describe(const Token& t);

}  // namespace ref
