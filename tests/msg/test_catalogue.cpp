// The compiled-in table, lookups without a message file, and the
// message-file override.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "catalogue_fixture.h"

namespace {

TEST(MessageTable, SortedUniqueAndWithoutLeadingNumbers) {
  ASSERT_GT(MsgTableCount, 0u);
  for (size_t i = 0; i < MsgTableCount; ++i) {
    if (i > 0) {
      EXPECT_LT(MsgTable[i - 1].number, MsgTable[i].number) << "at index " << i;
    }
    std::string number = std::to_string(MsgTable[i].number);
    EXPECT_NE(std::strncmp(MsgTable[i].text, number.c_str(), number.size()), 0)
        << MsgTable[i].number << " begins with its number";
  }
}

// The table is generated from the data file: both hold the same numbers.
TEST(MessageTable, DataFileMatchesTheTable) {
  std::ifstream in(std::string(VQ_FIXTURES) + "/../../src/msg/messages.txt");
  ASSERT_TRUE(in);
  std::string line;
  std::vector<unsigned long> numbers;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    numbers.push_back(std::stoul(line.substr(0, line.find('\t'))));
  }
  std::sort(numbers.begin(), numbers.end());
  ASSERT_EQ(numbers.size(), MsgTableCount);
  for (size_t i = 0; i < numbers.size(); ++i) EXPECT_EQ(numbers[i], MsgTable[i].number);
}

TEST(MessageTable, HoldsTheQuotedTextsOfEachSubsystem) {
  struct Case {
    unsigned number;
    const char* text;
  };
  // One or two per block, with escapes, trailing blanks and "%%" intact.
  const Case cases[] = {
      {3, "Invalid value for Mode, (1,2,3)."},
      {10003, "\n%s: Unable to open data dictionary file '%s'."},
      {10010, "\n%s: Character mapping \"from\" range size and \"to\" range size not equal at line $d."},
      {60017, "out"},
      {80009, "Trying to pop unpushed tag %s, input offset %d stack: "},
      {80028, "There is a duplicated tag definition in the tags file \"%s\""},
      {90026, "\t\tPlease note that region set %s has no members."},
      {100030, "Usage: %s [-v] [-r] [-m memory k|m] [-d region-name]\n       [-i int-name] [-s merge-name]\n       [ -t text-name [-o out-name] [-c isolatin|none|basic|sgml] ] |\n       [ [-I index-name] -D data-dictionary-name ]"},
      {140000, "Pair regions '%s' have invalid endpoints."},
      {220023, "Merging new regions into \"%s\""},
      {220120 + 0, "This message should not be printed"},
      {220120 + 122, "Parameter must be a name or PERO (%%); declaration terminated"},
      {220120 + 228, "Earlier reference to entity \"%s\" used default entity"},
  };
  for (const Case& c : cases) {
    const MsgEntry* found = nullptr;
    for (size_t i = 0; i < MsgTableCount; ++i) {
      if (MsgTable[i].number == c.number) found = &MsgTable[i];
    }
    ASSERT_NE(found, nullptr) << c.number;
    EXPECT_STREQ(found->text, c.text) << c.number;
  }
  // Every parser message P0 to P228 is there; 150005 has no text.
  std::set<unsigned> numbers;
  for (size_t i = 0; i < MsgTableCount; ++i) numbers.insert(MsgTable[i].number);
  for (unsigned n = 0; n <= 228; ++n) EXPECT_TRUE(numbers.count(220120 + n)) << "P" << n;
  EXPECT_FALSE(numbers.count(150005));
}

TEST_F(CatalogueTest, WithoutMessageFileTheTableServes) {
  EXPECT_STREQ(GetMsgText(3), "Invalid value for Mode, (1,2,3).");
  EXPECT_STREQ(GetMsgNumText(3), "3: Invalid value for Mode, (1,2,3).");
  EXPECT_STREQ(GetMsgText(999999), "(No message found for message number 999999)");
  EXPECT_STREQ(GetMsgNumText(999999), "999999: (No message found for message number 999999)");
  EXPECT_STREQ(GetMsgText(150005), "(No message found for message number 150005)");
  EXPECT_STREQ(GetMsgText(-5), "(No message found for message number -5)");
  EXPECT_EQ(GetMsgText(-1), nullptr);
  EXPECT_STREQ(GetMsgText(3), "Invalid value for Mode, (1,2,3).");  // set up again
}

TEST_F(CatalogueTest, LookupsLeaveErrnoAlone) {
  // The first lookup tries to open two message files that do not exist.
  errno = EACCES;
  GetMsgNumText(60006);
  EXPECT_EQ(errno, EACCES);
  GetMsgText(-1);
  errno = EIO;
  GetMsgText(3);
  EXPECT_EQ(errno, EIO);
  errno = 0;
  GetMsgText(-1);
  EXPECT_EQ(errno, 0);
}

TEST_F(CatalogueTest, TextsStayValidTogether) {
  write_file("velquin.msg", "<VQMessages>\n" + vq_message("100020", "Durchgang") +
                                vq_message("100010", "Indizierung") + "</VQMessages>\n");
  const char* pass = GetMsgText(100020);
  const char* indexing = GetMsgText(100010);
  const char* final_word = GetMsgText(100009);
  const char* pass_numbered = GetMsgNumText(100020);
  const char* mode_numbered = GetMsgNumText(3);
  GetMsgText(999999);
  GetMsgNumText(999998);
  EXPECT_STREQ(pass, "Durchgang");
  EXPECT_STREQ(indexing, "Indizierung");
  EXPECT_STREQ(final_word, "Final");
  EXPECT_STREQ(pass_numbered, "100020: Durchgang");
  EXPECT_STREQ(mode_numbered, "3: Invalid value for Mode, (1,2,3).");
}

// A message file exercising the override rules; each case names the
// number and the text a lookup must give.
TEST_F(CatalogueTest, MessageFileOverridesSingleEntries) {
  const std::string long_text(5000, 'a');
  std::string file =
      "<VQMessages>\n" +
      // Markup inside a text is part of it, unknown and malformed tags too.
      vq_message("3", "Mode <b>must</b> be 1, <VQCode>2</VQCode> or 3 <> (a < b).") +
      vq_message("10003", "\n%s: cannot open the data dictionary '%s'") +
      vq_message("", "filed under zero") +
      vq_message("80013", "") +
      vq_message("  80017  ", "Updating %s") +
      // Conversions differing from the compiled-in text's: not used.
      vq_message("80012", "Can't open data dictionary %d") +
      vq_message("80000", "Can't define tags, status %d %s") +
      vq_message("80004", "Mangled tag error at offset %ld") +
      vq_message("80031", "%n regions") +
      vq_message("100026", "After pass %d %.1f seconds (%*d)") +
      // No compiled-in text: taken only without conversions.
      vq_message("150005", "Range end below its start") +
      vq_message("150002", "Bad %s") +
      // Same conversions with other flags, widths and "%%": used.
      vq_message("150003", "Value (%X) 100%% too large (%d)") +
      vq_message("220014", "built [%s] region [%-30s n=%d] 100%%") +
      // The first of two entries for one number wins.
      vq_message("100009", "Letzter") + vq_message("100009", "Second") +
      // A text of more than 4081 bytes is cut.
      vq_message("100014", long_text) +
      // A message without a text is not filed.
      "<VQMessage><VQCode>40000</VQCode></VQMessage>\n" +
      "<Unknown>ignored</Unknown>\n" +
      vq_message("100020", "Runde") +
      // A bad tag outside a text ends the indexing.
      "<>\n" + vq_message("80014", "never indexed") + "</VQMessages>\n";
  setenv("VQ_MESSAGE_FILE", write_file("messages.msg", file).c_str(), 1);

  struct Case {
    long number;
    std::string text;
  };
  const Case cases[] = {
      {3, "Mode <b>must</b> be 1, <VQCode>2</VQCode> or 3 <> (a < b)."},
      {10003, "\n%s: cannot open the data dictionary '%s'"},
      {0, "filed under zero"},
      {80013, ""},
      {80017, "Updating %s"},
      {80012, "Can't open data dictionary %s"},
      {80000, "Can't define tags, status %d"},
      {80004, "Mangled tag error at offset %d"},
      {80031, "More than %d regions defined. Remainder ignored."},
      {100026, "After pass %d %.2f seconds used."},
      {150005, "Range end below its start"},
      {150002, "(No message found for message number 150002)"},
      {150003, "Value (%X) 100%% too large (%d)"},
      {220014, "built [%s] region [%-30s n=%d] 100%%"},
      {100009, "Letzter"},
      {100014, long_text.substr(0, 4081)},
      {40000, "%s: Bad args."},
      {100020, "Runde"},
      {80014, "\n%s: Error in parsing Data Dictionary or parsing Text file"},
      {10004, "\n%s: There appears to be an error in data dictionary '%s'"},
  };
  for (const Case& c : cases) EXPECT_EQ(GetMsgText(c.number), c.text) << c.number;
  EXPECT_STREQ(GetMsgNumText(3), "3: Mode <b>must</b> be 1, <VQCode>2</VQCode> or 3 <> (a < b).");
}

TEST_F(CatalogueTest, AMessageCutOffByTheEndOfFileIsNotFiled) {
  write_file("velquin.msg", "<VQMessages>" + vq_message("60017", "aus") +
                                "<VQMessage><VQCode>60000</VQCode><VQText>open</VQMessage>");
  EXPECT_STREQ(GetMsgText(60017), "aus");
  EXPECT_STREQ(GetMsgText(60000), "Could not close file: %s.");
}

TEST_F(CatalogueTest, WhichMessageFileIsRead) {
  write_file("velquin.msg", "<VQMessages>" + vq_message("60017", "local") + "</VQMessages>");
  std::string named =
      write_file("named.msg", "<VQMessages>" + vq_message("60017", "named") + "</VQMessages>");

  EXPECT_STREQ(GetMsgText(60017), "local");  // variable unset
  GetMsgText(-1);
  setenv("VQ_MESSAGE_FILE", named.c_str(), 1);
  EXPECT_STREQ(GetMsgText(60017), "named");
  GetMsgText(-1);
  setenv("VQ_MESSAGE_FILE", (dir_ + "/missing.msg").c_str(), 1);
  EXPECT_STREQ(GetMsgText(60017), "local");  // the named file does not open
}

TEST_F(CatalogueTest, AMissingMessageFileIsRememberedUntilRelease) {
  EXPECT_STREQ(GetMsgText(60017), "out");
  write_file("velquin.msg", "<VQMessages>" + vq_message("60017", "later") + "</VQMessages>");
  EXPECT_STREQ(GetMsgText(60017), "out");
  EXPECT_STREQ(GetMsgText(100009), "Final");
  GetMsgText(-1);
  EXPECT_STREQ(GetMsgText(60017), "later");
}

}  // namespace
