// Parser messages: the exact layout of every kind, printable parameters,
// counting, fatal ends, internal errors, message-file texts and deferred
// messages.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include <nl_types.h>

#include "msg/msg.h"
#include "sgml/messages/message.h"
#include "sgml/parser_state.h"
#include "sgml_support.h"

namespace {

// The open entities and elements the layout sees.
std::vector<MessageEntityLevel> test_levels;
std::vector<std::string> test_elements;
int positions_recorded = 0;

void test_entities(std::vector<MessageEntityLevel>* out) { *out = test_levels; }
void test_open_elements(std::vector<std::string>* out) { *out = test_elements; }
void test_record_position() { ++positions_recorded; }
const MessageSources test_sources = {test_record_position, test_entities, test_open_elements};

MessageEntityLevel file(const char* file_name, long line, int c) {
  return MessageEntityLevel{true, "ent", line, c, file_name};
}
MessageEntityLevel internal(const char* name, long line, int c) {
  return MessageEntityLevel{false, name, line, c, ""};
}

struct Options {
  const char* program = "tavrel";
  bool chain = false;     // -e
  bool elements = false;  // -g
};

void setup(const Options& o) {
  SwitchRecord sw;
  sw.program_name = o.program;
  sw.entity_chain = o.chain;
  sw.open_elements = o.elements;
  parser_setup(sw);
  message_sources_set(&test_sources);
  message_state_set(kStateCONM);
}

const std::string kIndent8 = "        ";

TEST(Message, RecordStartInAFile) {
  setup({});
  test_levels = {file("doc.sgm", 3, 10)};
  test_elements = {};
  std::string out = stderr_of([] { sgml_error(1, kStateCurrent, "P", "BODY"); });
  EXPECT_EQ(out, "tavrel: SGML error at doc.sgm, line 3 at record start:\n" + kIndent8 +
                     "P element not allowed at this point in BODY element\n");
  EXPECT_EQ(error_count(), 1);
}

TEST(Message, ProgramNameSetsTheIndent) {
  struct Case {
    const char* program;
    std::string expected;
  };
  const Case cases[] = {
      {"tavrel", "tavrel: SGML error at a.sgm, line 1:\n        Entity nesting level out of sync\n"},
      {"abcdefgh", "abcdefgh: SGML error at a.sgm, line 1:\n          Entity nesting level out of sync\n"},
      {"abcdefghi", "abcdefghi: SGML error at a.sgm, line 1:\n    Entity nesting level out of sync\n"},
      {nullptr, "SGML error at a.sgm, line 1:\n    Entity nesting level out of sync\n"},
  };
  for (const Case& c : cases) {
    setup({c.program});
    test_levels = {file("a.sgm", 1, 28)};
    EXPECT_EQ(stderr_of([] { syntax_error(37, kStateMD); }), c.expected) << c.program;
  }
}

TEST(Message, CharacterAtThePosition) {
  struct Case {
    int c;
    const char* where;
  };
  const Case cases[] = {
      {26, " at end of file"}, {10, " at record start"}, {13, " at record end"},
      {0, ""},                 {28, ""},                 {1, ""},
      {'x', " at \"x\""},      {' ', " at \" \""},       {'~', " at \"~\""},
      {7, " at \"\\007\""},    {127, " at \"\\177\""},   {233, " at \"\\351\""},
  };
  setup({});
  for (const Case& k : cases) {
    test_levels = {file("doc.sgm", 12, k.c)};
    EXPECT_EQ(stderr_of([] { syntax_error(9, kStateSTAG); }),
              std::string("tavrel: SGML error at doc.sgm, line 12") + k.where +
                  ":\n        Incorrect character in markup; markup terminated\n")
        << k.c;
  }
}

TEST(Message, KindWordByClass) {
  setup({});
  test_levels = {file("d", 2, 28)};
  EXPECT_EQ(stderr_of([] { sgml_error(31, kStateCurrent, "e1", nullptr); }),
            "tavrel: Error at d, line 2:\n        Entity \"e1\" terminated: could not read file\n");
  EXPECT_EQ(stderr_of([] { sgml_error(206, kStateCurrent, nullptr, nullptr); }),
            "tavrel: Unsupported feature at d, line 2:\n        Only reference concrete syntax "
            "function characters supported\n");
  EXPECT_EQ(stderr_of([] { sgml_error(45, kStateCurrent, "e2", nullptr); }),
            "tavrel: Warning at d, line 2:\n        No declaration for entity \"e2\"; default "
            "definition used\n");
  EXPECT_EQ(stderr_of([] { sgml_error(21, kStateCurrent, "A", "B"); }),
            "tavrel: SGML error at d, line 2:\n        A start-tag implied by B start-tag; not "
            "minimizable\n");
  // ER, EU and WM count; the information message P45 does not.
  EXPECT_EQ(error_count(), 3);
  EXPECT_EQ(positions_recorded > 0, true);
}

TEST(Message, NoEntitiesOpen) {
  setup({});
  test_levels = {};
  EXPECT_EQ(stderr_of([] { sgml_error(42, kStateCurrent, nullptr, nullptr); }),
            "tavrel: SGML error:\n        No DOCTYPE declaration; document type is unknown\n");
}

TEST(Message, InsideEntitiesWithAndWithoutChain) {
  // The document, an internal entity in it, an external entity in that,
  // and an internal entity at its record end.
  const std::vector<MessageEntityLevel> levels = {file("doc.sgm", 5, 'x'), internal("e1", 1, 'y'),
                                                  file("b.ent", 2, 10), internal("e2", 0, 13)};
  setup({});
  test_levels = levels;
  EXPECT_EQ(stderr_of([] { syntax_error(26, kStateCurrent); }),
            "tavrel: SGML error at b.ent, line 2 at record start:\n        Marked section end "
            "ignored; not in a marked section\n");
  setup({"tavrel", true});
  test_levels = levels;
  EXPECT_EQ(stderr_of([] { syntax_error(26, kStateCurrent); }),
            "tavrel: In file included at doc.sgm, line 5 at entity e1, line 2:\n"
            "        SGML error at b.ent, line 2 at entity e2, line 1 at record end:\n"
            "        Marked section end ignored; not in a marked section\n");
  // Internal entity inside the document only.
  test_levels = {file("doc.sgm", 5, 'x'), internal("e1", 0, 'y')};
  EXPECT_EQ(stderr_of([] { syntax_error(26, kStateCurrent); }),
            "tavrel: SGML error at doc.sgm, line 5 at entity e1, line 1 at \"y\":\n"
            "        Marked section end ignored; not in a marked section\n");
  setup({});
  test_levels = {file("doc.sgm", 5, 'x'), internal("e1", 0, 'y')};
  EXPECT_EQ(stderr_of([] { syntax_error(26, kStateCurrent); }),
            "tavrel: SGML error at doc.sgm, line 5 at \"x\":\n"
            "        Marked section end ignored; not in a marked section\n");
  // Three files: each including one on a line of its own.
  setup({"tavrel", true});
  test_levels = {file("a", 1, 'a'), file("b", 2, 'b'), file("c", 3, 'c')};
  EXPECT_EQ(stderr_of([] { syntax_error(26, kStateCurrent); }),
            "tavrel: In file included at a, line 1:\n"
            "        In file included at b, line 2:\n"
            "        SGML error at c, line 3 at \"c\":\n"
            "        Marked section end ignored; not in a marked section\n");
}

TEST(Message, SystemErrorOnOpening) {
  setup({});
  test_levels = {file("doc.sgm", 4, 'x'), file("missing.ent", 0, 0)};
  std::string out = stderr_of([] {
    errno = ENOENT;
    system_error(32, "missing");
  });
  EXPECT_EQ(out,
            "tavrel: Error at doc.sgm, line 4 accessing \"missing.ent\":\n"
            "        No such file or directory:\n"
            "        Could not open file for entity \"missing\"; entity reference ignored\n");
  // The document itself: nothing counted before it.
  test_levels = {file("nodoc.sgm", 0, 0)};
  out = stderr_of([] {
    errno = EACCES;
    system_error(32, "*SGMLDOC");
  });
  EXPECT_EQ(out,
            "tavrel: Error accessing \"nodoc.sgm\":\n        Permission denied:\n"
            "        Could not open file for entity \"*SGMLDOC\"; entity reference ignored\n");
  // No system error: no line for it.
  out = stderr_of([] {
    errno = 0;
    system_error(94, "x");
  });
  EXPECT_EQ(out, "tavrel: Error accessing \"nodoc.sgm\":\n"
                 "        Could not reopen file to continue entity \"x\"; entity terminated\n");
  EXPECT_EQ(error_count(), 3);
}

TEST(Message, DeclarationErrors) {
  setup({});
  test_levels = {file("doc.sgm", 2, 'q')};
  md_context().keyword = kKwENTITY;
  md_context().has_subject = true;
  md_context().subject = "foo";
  md_context().parameters = 3;
  EXPECT_EQ(stderr_of([] { md_error(23, "foo", nullptr); }),
            "tavrel: SGML error at doc.sgm, line 2 in declaration parameter 3:\n"
            "        Duplicate specification occurred for \"foo\"; may affect processing\n");
  md_context().has_subject = false;
  md_context().parameters = 1;
  EXPECT_EQ(stderr_of([] { md_error(128, nullptr, nullptr); }),
            "tavrel: SGML error at doc.sgm, line 2 in declaration parameter 1:\n"
            "        \"PUBLIC\" or \"SYSTEM\" or DSO ([) required; declaration terminated\n");
  md_context() = DeclarationContext{};
}

TEST(Message, OpenElements) {
  setup({"tavrel", false, true});
  test_levels = {file("doc.sgm", 7, 'z')};
  test_elements = {"A", "B"};
  EXPECT_EQ(stderr_of([] { sgml_error(10, kStateCurrent, "B", nullptr); }),
            "tavrel: SGML error at doc.sgm, line 7 at \"z\":\n"
            "        Data not allowed at this point in B element\n"
            "        Element structure: A B\n");
  test_elements = {};
  EXPECT_EQ(stderr_of([] { sgml_error(10, kStateCurrent, "B", nullptr); }),
            "tavrel: SGML error at doc.sgm, line 7 at \"z\":\n"
            "        Data not allowed at this point in B element\n");
  setup({});
  test_elements = {"A", "B"};
  EXPECT_EQ(stderr_of([] { sgml_error(10, kStateCurrent, "B", nullptr); }),
            "tavrel: SGML error at doc.sgm, line 7 at \"z\":\n"
            "        Data not allowed at this point in B element\n");
  test_elements = {};
}

TEST(Message, PrintableParameters) {
  struct Case {
    std::string parameter;
    std::string printed;
  };
  const std::string sixty(60, 'p');
  const Case cases[] = {
      {"plain", "plain"},
      {std::string("a\x1f") + char(64 + 10) + "b", "a\\012b"},  // escaped RS
      {std::string("\x1f") + char(64 + 'x'), "x"},                // escape pair of a printable
      {"a\x1d" "b\x1e" "c", "abc"},                               // the two dropped characters
      {"back\\slash", "back\\\\slash"},
      {"tab\there\xe9", "tab\\011here\\351"},
      {"end\x1f", "end"},  // an escape at the very end ends the text
      {sixty, std::string(46, 'p') + "..."},
      {std::string(46, 'q'), std::string(46, 'q')},
      {std::string(44, 'r') + "\x01", std::string(44, 'r') + "..."},
      {std::string(42, 's') + "\x01", std::string(42, 's') + "\\001"},
  };
  setup({});
  test_levels = {};
  for (const Case& c : cases) {
    std::string p = c.parameter;
    EXPECT_EQ(stderr_of([&] { sgml_error(35, kStateCurrent, p.c_str(), nullptr); }),
              "tavrel: SGML error:\n        No declaration for entity \"" + c.printed +
                  "\"; reference ignored\n")
        << c.printed;
  }
}

TEST(MessageDeathTest, FatalEndsWithStatusOne) {
  setup({});
  test_levels = {file("doc.sgm", 9, 26)};
  EXPECT_EXIT(sgml_fatal(133, kStateMD), testing::ExitedWithCode(1),
              "tavrel: SGML error at doc.sgm, line 9 at end of file:\n        Document ended "
              "invalidly within a markup declaration; parsing ended\n");
}

TEST(MessageDeathTest, BadStateIsAnInternalError) {
  setup({});
  test_levels = {};
  EXPECT_EXIT(sgml_error(1, kStateNameCount, "A", "B"), testing::ExitedWithCode(15),
              "sgmlmsg\\([0-9]+\\): assert");
  EXPECT_EXIT(saved_message_print(nullptr), testing::ExitedWithCode(15),
              "sgmlmsg\\([0-9]+\\): assert");
}

class MessageFileTest : public ::testing::Test {
 protected:
  void TearDown() override {
    unsetenv("VQ_MESSAGE_FILE");
    GetMsgText(-1);
  }
  void use_file(const std::string& code, const std::string& text) {
    path_ = dir_.path + "/velquin.msg";
    write_file(path_, "<VQMessages>\n<VQMessage>\n  <VQLevel>2</VQLevel>\n  <VQCode>" + code +
                          "</VQCode>\n  <VQText>" + text + "</VQText>\n</VQMessage>\n</VQMessages>\n");
    setenv("VQ_MESSAGE_FILE", path_.c_str(), 1);
    GetMsgText(-1);
  }
  TempDir dir_;
  std::string path_;
};

TEST_F(MessageFileTest, HostileTextFallsBackToTheBuiltIn) {
  setup({});
  test_levels = {};
  use_file("220152", "%s%s%s%n");
  EXPECT_EQ(stderr_of([] { sgml_error(32, kStateCurrent, "e", nullptr); }),
            "tavrel: Error:\n        Could not open file for entity \"e\"; entity reference ignored\n");
}

TEST_F(MessageFileTest, FittingTextIsUsed) {
  setup({});
  test_levels = {};
  use_file("220152", "Entity %s has no file");
  EXPECT_EQ(stderr_of([] { sgml_error(32, kStateCurrent, "e", nullptr); }),
            "tavrel: Error:\n        Entity e has no file\n");
}

TEST(DeferredMessage, PrintsLaterAsAtOnce) {
  setup({});
  test_levels = {file("doc.sgm", 4, 'i')};
  std::string at_once = stderr_of([] { sgml_error(69, kStateCurrent, "REF", "id7"); });
  error_count_reset();
  SavedMessage first, info, second;
  std::string during = stderr_of([&] {
    first = sgml_error_save(69, kStateCurrent, "REF", "id7");
    info = sgml_error_save(140, kStateCurrent, "X", nullptr);
    second = sgml_error_save(69, kStateCurrent, "REF", "id8");
  });
  EXPECT_EQ(during, "");
  EXPECT_EQ(error_count(), 0);
  EXPECT_TRUE(first.counted);
  EXPECT_FALSE(info.counted);
  EXPECT_EQ(stderr_of([&] { saved_message_print(&second); }),
            "tavrel: SGML error at doc.sgm, line 4 at \"i\":\n        REF = \"id8\" IDREF attribute "
            "ignored: referenced ID does not exist\n");
  EXPECT_EQ(stderr_of([&] { saved_message_print(&first); }), at_once);
  EXPECT_EQ(stderr_of([&] { saved_message_print(&info); }),
            "tavrel: Warning at doc.sgm, line 4 at \"i\":\n        Element \"X\" used in DTD but not "
            "defined\n");
  EXPECT_EQ(error_count(), 2);
}

void* refuse_allocation(size_t) { return nullptr; }

TEST(DeferredMessageDeathTest, NoTemporaryStreamIsFatal) {
  setup({});
  test_levels = {};
  EXPECT_EXIT(
      {
        vqio_fputs("start\n", vqio_stderr);
        vqio_fflush(vqio_stderr);
        stream_alloc_hooks.allocate = refuse_allocation;
        sgml_error_save(1, kStateCurrent, "A", "B");
      },
      testing::ExitedWithCode(1), "Cannot create temporary file");
}

// A catalogue of the operating system replaces layout words and state
// names; a word that would read an argument the layout does not pass is
// not used.
TEST(MessageCatalogue, PartsAndStateNamesFromTheCatalogue) {
  TempDir dir;
  write_file(dir.path + "/t.msg",
             "$quote \"\n$set 2\n2 \"ERREUR %c%c%d\"\n10 \" in %s\"\n11 \"%s%n\"\n"
             "12 \" au debut\"\n13 \" (%s) %s\"\n$set 3\n3 \"contenu mixte\"\n");
  std::string command = "gencat " + dir.path + "/t.cat " + dir.path + "/t.msg";
  ASSERT_EQ(std::system(command.c_str()), 0);
  nl_catd catalogue = catopen((dir.path + "/t.cat").c_str(), 0);
  ASSERT_NE(catalogue, reinterpret_cast<nl_catd>(-1));
  SwitchRecord sw;
  sw.program_name = "tavrel";
  sw.catalogue = catalogue;
  parser_setup(sw);
  message_sources_set(&test_sources);
  test_levels = {file("d", 1, 10)};
  // The state word shows the catalogue's state name; a word reading a
  // pointer (%n) or an argument too many falls back to the built-in one.
  EXPECT_EQ(stderr_of([] { syntax_error(37, kStateCONM); }),
            "tavrel: ERREUR SE37 at d, line 1 in contenu mixte au debut:\n"
            "        Entity nesting level out of sync\n");
  test_levels = {file("d", 1, 26)};
  EXPECT_EQ(stderr_of([] { syntax_error(37, kStateCONE); }),
            "tavrel: ERREUR SE37 at d, line 1 in element content at end of file:\n"
            "        Entity nesting level out of sync\n");
  test_levels = {file("d", 1, 13)};
  EXPECT_EQ(stderr_of([] { syntax_error(37, kStateCONM); }),
            "tavrel: ERREUR SE37 at d, line 1 in contenu mixte at record end:\n"
            "        Entity nesting level out of sync\n");
  catclose(catalogue);
  parser_setup(SwitchRecord{});
}

}  // namespace
