// The SGML declaration in process: its settings reach the lexical tables,
// damaged declarations end with P161, long names are cut.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include "sgml/lex/chclass.h"
#include "sgml/entities/entity.h"
#include "sgml/lex/lex.h"
#include "sgml/messages/message.h"
#include "sgml/entities/settings.h"
#include "sgml/parser_state.h"
#include "sgml/sgmldecl/sgmldecl.h"
#include "sgml/entities/tables.h"
#include "sgml_support.h"

namespace {

// A declaration that goes through every section of an explicit concrete
// syntax, with a comment and both kinds of literal.
const char kDeclaration[] =
    "<!SGML \"ISO 8879:1986\" -- a comment --\n"
    "CHARSET BASESET \"-//A//CHARSET B//ESC 2/13 4/1\"\n"
    "DESCSET 0 9 UNUSED 9 2 9 11 2 UNUSED 13 1 13 14 18 UNUSED 32 95 32 127 1 UNUSED\n"
    "CAPACITY SGMLREF TOTALCAP 99000000 SCOPE DOCUMENT\n"
    "SYNTAX SHUNCHAR CONTROLS 0 127 BASESET '-//A//CHARSET B//ESC 2/13 4/1' DESCSET 0 256 0\n"
    "FUNCTION RE 13 RS 10 SPACE 32 TAB SEPCHAR 9\n"
    "NAMING LCNMSTRT \"\" UCNMSTRT \"\" LCNMCHAR \"-.\" UCNMCHAR '-.'\n"
    "NAMECASE GENERAL YES ENTITY NO DELIM GENERAL SGMLREF SHORTREF SGMLREF\n"
    "NAMES SGMLREF ELEMENT ELEM QUANTITY SGMLREF LITLEN 2000\n"
    "FEATURES MINIMIZE DATATAG NO OMITTAG YES RANK NO SHORTTAG YES\n"
    "LINK SIMPLE NO IMPLICIT NO EXPLICIT NO OTHER CONCUR NO SUBDOC NO FORMAL YES\n"
    "APPINFO \"app\">";

class SgmlDeclaration : public ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    SwitchRecord sw;
    sw.program_name = nullptr;
    parser_setup(sw);
  }
  void TearDown() override {
    parser_teardown();
    ScratchDir::TearDown();
  }
  // Opens text as the document entity, raises the limits and reads "<!SGML".
  void open(const std::string& text) {
    std::string file = path("doc.sgml");
    write_file(file, text);
    std::string list = file + std::string(2, '\0');
    ASSERT_EQ(entity_open_document(list.data()), 0);
    sgml_raise_limits();
    pcb_reset(&pcb_pro);
    ASSERT_EQ(lex_engine(&pcb_pro), PRO_DECLARATION);
    unsigned char name[256];
    parse_name(name, 1);
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(name + 1)), "SGML");
  }
  // The next name after the declaration, read through the SD block.
  std::string next_name() {
    pcb_reset(&pcb_sd);
    if (lex_engine(&pcb_sd) != SDC_NAME) return "";
    unsigned char name[256];
    parse_name(name, 0);
    return std::string(reinterpret_cast<const char*>(name + 1), name[0] - 2);
  }
};

TEST_F(SgmlDeclaration, FullDeclarationTakesEffect) {
  open(std::string(kDeclaration) + " rest");
  std::string err = stderr_of(dir_, [] { EXPECT_EQ(sgml_declaration(), 1); });
  EXPECT_EQ(err, "");
  EXPECT_EQ(error_count(), 0);
  EXPECT_STREQ(token_buffer().data(), "app");
  const SgmlSettings& s = sgml_settings();
  EXPECT_EQ(s.capacities[kTOTALCAP].limit, 99000000);
  EXPECT_EQ(s.capacities[kENTCAP].limit, 35000);
  EXPECT_EQ(quantity(kLITLEN), 2000);
  EXPECT_EQ(token_buffer().size(), 2000u + 960u + 1u);
  EXPECT_EQ(s.subdoc, 0);
  EXPECT_EQ(s.reserved_names[8], "ELEM");
  EXPECT_EQ(s.replaced_names[8], "ELEMENT");
  // 128 to 255 were not described: UNUSED, so non-SGML in every table.
  EXPECT_TRUE(s.char_flags[200] & kCharNonSgml);
  EXPECT_EQ(ContentClass[200], kNonSgmlClass);
  EXPECT_EQ(next_name(), "rest");
}

TEST_F(SgmlDeclaration, AddedNameCharacterReadsInNames) {
  std::string text = kDeclaration;
  text.replace(text.find("127 1 UNUSED"), 12, "127 1 UNUSED 128 128 128");
  text.replace(text.find("LCNMCHAR \"-.\""), 13, "LCNMCHAR \"-.&#183;\"");
  text.replace(text.find("UCNMCHAR '-.'"), 13, "UCNMCHAR '-.&#183;'");
  open(text + " A\xb7" "B ");
  std::string err = stderr_of(dir_, [] { sgml_declaration(); });
  EXPECT_EQ(err, "");
  EXPECT_EQ(NameClass[183], kNameChar);
  EXPECT_EQ(ContentClass[183], ContentClass['.']);
  EXPECT_TRUE(sgml_settings().char_flags[183] & kCharSignificant);
  EXPECT_EQ(next_name(), "A\xb7" "B");
}

TEST_F(SgmlDeclaration, ShorttagNoMakesEmptyTagsData) {
  std::string text = kDeclaration;
  text.replace(text.find("SHORTTAG YES"), 12, "SHORTTAG NO");
  open(text + "<>x</>y");
  EXPECT_EQ(stderr_of(dir_, [] { sgml_declaration(); }), "");
  EXPECT_EQ(sgml_settings().shorttag, 0);
  pcb_reset(&pcb_conm);
  for (int steps = 0; steps < 100; ++steps) {
    int code = lex_engine(&pcb_conm);
    ASSERT_NE(code, CON_EMPTY_END_TAG);
    ASSERT_NE(code, CON_EMPTY_START_TAG);
    if (code == LEX_END_OF_INPUT) break;
    if (code == CON_DATA_END) lex_step_back(1);
  }
}

TEST_F(SgmlDeclaration, LongReplacementNameIsCut) {
  std::string text = kDeclaration;
  text.replace(text.find("ELEM "), 4, std::string(300, 'Q'));
  open(text);
  std::string err = stderr_of(dir_, [] { sgml_declaration(); });
  EXPECT_NE(err.find("\n"), std::string::npos);
  EXPECT_EQ(sgml_settings().reserved_names[8], std::string(80, 'Q'));
}

// Cut at every byte after "<!SGML": the end of the input inside the
// declaration ends the run with P161 as its last message, whatever was
// being read. Each cut runs in a child process of its own (the fatal end
// exits), many at a time. A child of the sanitizer build costs several
// times as much: there every third cut runs, the offset turning with the
// batch so that every kind of token is still cut inside.
#if defined(__SANITIZE_ADDRESS__)
constexpr size_t kCutStride = 3;
#else
constexpr size_t kCutStride = 1;
#endif

TEST_F(SgmlDeclaration, CutAtEveryByteEndsWithP161) {
  const std::string whole = kDeclaration;
  const std::string last = "Document ended invalidly within SGML declaration\n";
  constexpr size_t kBatch = 32;
  for (size_t from = 6; from < whole.size(); from += kBatch) {
    std::vector<std::pair<size_t, pid_t>> children;
    for (size_t cut = from; cut < whole.size() && cut < from + kBatch; ++cut) {
      if ((cut + from / kBatch) % kCutStride != 0) continue;
      vqio_fflush(vqio_stderr);
      pid_t pid = fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        std::string dir = dir_ + "/" + std::to_string(cut);
        mkdir(dir.c_str(), 0700);
        int fd = ::open((dir + "/stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 2);
        close(fd);
        std::string file = dir + "/doc.sgml";
        write_file(file, whole.substr(0, cut));
        std::string list = file + std::string(2, '\0');
        if (entity_open_document(list.data()) != 0) _exit(3);
        sgml_raise_limits();
        pcb_reset(&pcb_pro);
        if (lex_engine(&pcb_pro) != PRO_DECLARATION) _exit(4);
        unsigned char name[256];
        parse_name(name, 1);
        sgml_declaration();
        _exit(0);
      }
      children.emplace_back(cut, pid);
    }
    for (auto [cut, pid] : children) {
      int status = 0;
      ASSERT_EQ(waitpid(pid, &status, 0), pid);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << "cut at " << cut;
      std::string err = read_file(dir_ + "/" + std::to_string(cut) + "/stderr.txt");
      EXPECT_TRUE(err.size() >= last.size() && err.compare(err.size() - last.size(), last.size(), last) == 0)
          << "cut at " << cut << ":\n" << err;
    }
  }
}

}  // namespace
