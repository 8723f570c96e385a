// The state tables as data: the table of the "<", "/", ">" set printed at
// chosen characters and checked against the format's transitions, and every
// cell of several sets' tables against the reference transition function.
#include <gtest/gtest.h>

#include <string>

#include "harness.h"

namespace {

// Rows: states 0-8. Columns: the characters below, then end of input.
// Written by hand from the state table of the format.
const char kColumns[] = {'/', '<', '>', ' ', '\n', '=', '"', ',', 'a'};
const int kExpected[9][10] = {
    //  /   <   >  sp  nl   =   "   ,   a  EOF
    {1, 15, 15, 2, 2, 2, 2, 2, 2, 15},         // 0 after o
    {15, 15, 13, 1, 1, 1, 1, 1, 1, 15},        // 1 end-tag name
    {15, 15, 11, 3, 3, 2, 2, 2, 2, 15},        // 2 start-tag name
    {15, 15, 12, 3, 3, 4, 4, 4, 4, 15},        // 3 blank
    {15, 15, 15, 4, 4, 5, 4, 4, 4, 15},        // 4 attribute name
    {15, 15, 15, 6, 6, 6, 7, 6, 6, 15},        // 5 after "="
    {15, 15, 12, 3, 3, 6, 6, 5, 6, 15},        // 6 unquoted value
    {7, 7, 7, 7, 7, 7, 8, 7, 7, 15},           // 7 quoted value
    {15, 15, 12, 3, 3, 0, 0, 5, 0, 15},        // 8 after closing quote
};

std::string print_row(const SinsiStateTable& t, int state) {
  std::string line = std::to_string(state) + ":";
  for (char ch : kColumns)
    line += " " + std::to_string(sinsi_step(&t, state, static_cast<unsigned char>(ch)));
  line += " " + std::to_string(sinsi_step(&t, state, SINSI_COLUMN_EOF));
  return line;
}

TEST(StateTable, AngleSetMatchesTheFormatAtEachCharacterClass) {
  SinsiStateTable t;
  sinsi_build_states(&SinsiAngleDelimiters, &t);
  for (int s = 0; s < SINSI_ROWS; ++s) {
    std::string want = std::to_string(s) + ":";
    for (int v : kExpected[s]) want += " " + std::to_string(v);
    EXPECT_EQ(print_row(t, s), want);
  }
}

TEST(StateTable, EveryCellAgreesWithTheReferenceForSeveralSets) {
  const ref::DelimiterSet sets[] = {
      {'<', '/', '>', {}},
      {'[', '!', ']', {}},
      {'&', 0, ';', {}},       // a set without end marker
      {'{', ' ', '}', {}},     // a blank end marker counts as the delimiter
      {'\x01', '\xff', '\x80', {}},
  };
  for (const auto& set : sets) {
    SinsiDelimiters d = {static_cast<unsigned char>(set.open), static_cast<unsigned char>(set.end),
                         static_cast<unsigned char>(set.close)};
    SinsiStateTable t;
    sinsi_build_states(&d, &t);
    for (int s = 0; s < SINSI_ROWS; ++s) {
      for (int c = 0; c < 256; ++c)
        ASSERT_EQ(sinsi_step(&t, s, c), ref::next_state(s, c, set))
            << "set " << int(d.open) << " state " << s << " byte " << c;
      ASSERT_EQ(sinsi_step(&t, s, SINSI_COLUMN_EOF), 15);
    }
  }
}

TEST(StateTable, TemplateHasNoDelimiterTransitionsAndStreamKeepsEachSetsTable) {
  // The template knows only character classes: "<" is a name byte there.
  EXPECT_EQ(sinsi_step(sinsi_template(), SINSI_ST_START_NAME, '<'), SINSI_ST_START_NAME);
  EXPECT_EQ(sinsi_step(sinsi_template(), SINSI_ST_START_NAME, ' '), SINSI_ST_BLANK);

  harness::StringInput in{"<a>"};
  SinsiStream* s = sinsios(&in, nullptr, harness::read_string, nullptr);
  ASSERT_EQ(harness::define_set(s, harness::angle_set({{"a", 1}})), SINSI_OK);
  ASSERT_EQ(harness::define_set(s, {'[', '!', ']', {{"b", 2}}}), SINSI_OK);
  ASSERT_NE(s->set_states['<'], nullptr);
  ASSERT_NE(s->set_states['['], nullptr);
  EXPECT_EQ(s->set_states['>'], nullptr);
  EXPECT_EQ(sinsi_step(s->set_states['<'], SINSI_ST_OPEN, '/'), SINSI_ST_END_NAME);
  EXPECT_EQ(sinsi_step(s->set_states['['], SINSI_ST_OPEN, '!'), SINSI_ST_END_NAME);
  EXPECT_EQ(sinsi_step(s->set_states['['], SINSI_ST_OPEN, '/'), SINSI_ST_START_NAME);
  // The current token keeps the table it was scanned with.
  EXPECT_EQ(sinsint(s, nullptr, nullptr), SINSI_START_TAG);
  EXPECT_EQ(s->states, s->set_states['<']);
  sinsicl(s);
}

}  // namespace
