// The lexical engine over damaged input: every block over texts cut at
// every byte, read as a document file (so that buffer ends and the end of
// the file fall everywhere), runs to the end of the input. The sanitizer
// build checks that nothing is read or written out of bounds.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "sgml/entity.h"
#include "sgml/lex.h"
#include "sgml/message.h"
#include "sgml/tables.h"
#include "sgml_support.h"

namespace {

const char* const kTexts[] = {
    "<doc><p>Text</p></>\n<>x<1 a<?pi text?><!-- c --><!>\n<!USEMAP m><![ INCLUDE [y]]>z]]>\n"
    "  \n\"#[a-b--c]\n\t\n\n/</a/\n&#65;&#RE;&#X;&#300;\n",
    "<!ENTITY %e;]]>]x<x%y ] >\n<![<?x><!-- --><!>\n",
    "NAME nmtok 12ab .5 -x #PCDATA \"lit &#65; a\" 'lit' -- c -- %pe; % x - O -(a) +(b) [ ] ( >\n",
    " a=1 b = \"x y\" c d=v.2 'q' / > <x @\n",
    "\"ISO 8879:1986\" -- c -- CHARSET 0 128 'x' $ @ -. >\n",
    "(a|b,c&d)?+*#PCDATA 1x -y %g; ;\n",
    "a&e;]x]]y]]>z&#1;&#\n",
};

class EngineOnCutText : public ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    SwitchRecord sw;
    sw.program_name = nullptr;
    parser_setup(sw);
    sgml_raise_limits();
    sgml_tables_clear();
    lex_rows_reset();
  }
};

// Runs pcb over the file until the end of the input, doing what callers
// must: step back after the codes that end before the current character,
// refill after 74, pass over the character after 7 and 14 (which the
// engine steps back to). False when it did not end.
bool run_block(ParseControlBlock* pcb, const std::string& file, size_t size) {
  std::string list = file + std::string(2, '\0');
  if (entity_open_document(list.data()) != 0) return false;
  pcb_reset(pcb);
  for (size_t steps = 0; steps < 50 * (size + 10); ++steps) {
    int code = lex_engine(pcb);
    if (code == LEX_END_OF_INPUT) {
      entity_close_all();
      return true;
    }
    bool data_before = code == 21 && pcb->last_action != 2;
    if (data_before || code == 31 || code == 33 || code == 40 || code == 49) {
      lex_step_back(1);
    } else if (code == 74) {
      if (entpop() < 0) break;
    } else if (code == 7 || code == 14) {
      EntityEntry* e = entity_top;
      unsigned char next = e->ptr[1];
      ++e->ptr;
      if ((next == 26 || next == 28) && entpop() < 0) break;
    }
  }
  entity_close_all();
  return true;
}

TEST_F(EngineOnCutText, EveryBlockEndsOnEveryCut) {
  std::string file = path("cut.txt");
  int saved = dup(2);  // the messages are not what this test looks at
  int null = open("/dev/null", O_WRONLY);
  dup2(null, 2);
  close(null);
  for (const char* text : kTexts) {
    std::string whole = text;
    for (size_t n = 0; n <= whole.size(); ++n) {
      write_file(file, whole.substr(0, n));
      for (int b = 0; LexBlocks[b]; ++b) {
        if (LexBlocks[b] == &pcb_val) continue;
        ASSERT_TRUE(run_block(LexBlocks[b], file, n)) << LexBlocks[b]->name << " at " << n;
      }
    }
  }
  vqio_fflush(vqio_stderr);
  dup2(saved, 2);
  close(saved);
}

}  // namespace
