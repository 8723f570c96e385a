// The lexical engine over damaged input: every block over texts cut at
// every byte, read as a document file (so that buffer ends and the end of
// the file fall everywhere), runs to the end of the input. The sanitizer
// build checks that nothing is read or written out of bounds.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "sgml/input/docin.h"
#include "sgml/entities/entity.h"
#include "sgml/lex/lex.h"
#include "sgml/messages/message.h"
#include "sgml/entities/tables.h"
#include "sgml/messages/trace.h"
#include "sgml/parser_state.h"
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
  }
};

// What the engine leaves after each code: the code, the block's words, the
// read position and the offset of the current character.
struct Seen {
  int code, state, prev_state, last_class, last_action;
  long at;
  int32_t offset;
  bool operator==(const Seen&) const = default;
};

// Runs pcb over the file until the end of the input (at most per_byte
// codes for each of its size bytes), doing what callers must: step back
// after the codes that end before the current character, refill after
// CON_DATA_BUFFER_END, pass over the character after LEX_INVALID and
// LEX_STEPPED_BACK (which the engine steps back to). The codes, with what
// the engine leaves after each; none when the file could not be opened.
std::vector<Seen> codes_of(ParseControlBlock* pcb, const std::string& file, size_t size,
                           size_t per_byte) {
  std::vector<Seen> seen;
  std::string list = file + std::string(2, '\0');
  if (entity_open_document(list.data()) != 0) return seen;
  pcb_reset(pcb);
  for (size_t steps = 0; steps < per_byte * (size + 10); ++steps) {
    int code = lex_engine(pcb);
    EntityEntry* e = entity_top;
    seen.push_back({code, pcb->state, pcb->prev_state, pcb->last_class, pcb->last_action,
                     e ? static_cast<long>(e->count + (e->ptr - e->start)) : -1,
                     doc_offsets.current_char});
    if (code == LEX_END_OF_INPUT) break;
    // CON_DATA_END ends data before the current character in the content
    // blocks only; elsewhere 21 is the character itself.
    bool data_before = code == CON_DATA_END && pcb->data_code == CON_DATA_END &&
                       pcb->last_action != ACT_CHAR_REF_NUMBER;
    if (data_before || code == PRO_INVALID_RUN || code == PRO_DSC || code == PRO_DATA_END ||
        code == CON_SR_BEFORE) {
      lex_step_back(1);
    } else if (code == CON_DATA_BUFFER_END) {
      if (entpop() < 0) break;
    } else if (code == LEX_INVALID || code == LEX_STEPPED_BACK) {
      unsigned char next = e->ptr[1];
      ++e->ptr;
      if ((next == kEntityEndChar || next == kBufferEndChar) && entpop() < 0) break;
    }
  }
  entity_close_all();
  return seen;
}

bool run_block(ParseControlBlock* pcb, const std::string& file, size_t size) {
  return !codes_of(pcb, file, size, 50).empty();
}

// Standard error goes to /dev/null while it lives (messages and traces are
// not what these tests look at).
struct QuietStderr {
  int saved = dup(2);
  QuietStderr() {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 2);
    close(null);
  }
  ~QuietStderr() {
    vqio_fflush(vqio_stderr);
    dup2(saved, 2);
    close(saved);
  }
};

TEST_F(EngineOnCutText, EveryBlockEndsOnEveryCut) {
  std::string file = path("cut.txt");
  QuietStderr quiet;
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
}

// Runs of characters that leave a block in its state with nothing to do
// are passed over in one loop; with the state trace on the engine takes
// every character as a step of its own. Both must give the same codes,
// words and offsets, for every block, with SHORTTAG NO's rows (which make
// ">" data in content) and after they are undone.
TEST_F(EngineOnCutText, PassingOverRunsGivesWhatSingleStepsGive) {
  std::string file = path("runs.txt");
  QuietStderr quiet;
  std::string runs =
      "plain data run of letters and digits 0123 with  blanks\tand tabs\n"
      "<p>text</p> ]]> > </> <> a>b -- comment text -- x\n"
      "\"literal text with spaces\" 'other literal' more text\n";
  std::vector<std::string> texts(std::begin(kTexts), std::end(kTexts));
  texts.push_back(runs);
  for (int phase = 0; phase < 3; ++phase) {
    if (phase == 1) lex_shorttag_off();
    if (phase == 2) lex_rows_reset();
    for (const std::string& text : texts) {
      write_file(file, text);
      for (int b = 0; LexBlocks[b]; ++b) {
        ParseControlBlock* pcb = LexBlocks[b];
        if (pcb == &pcb_val) continue;
        trace_on.state = 0;
        std::vector<Seen> runs_seen = codes_of(pcb, file, text.size(), 4);
        trace_on.state = 1;
        std::vector<Seen> steps_seen = codes_of(pcb, file, text.size(), 4);
        trace_on.state = 0;
        ASSERT_FALSE(steps_seen.empty());
        ASSERT_TRUE(runs_seen == steps_seen) << pcb->name << " phase " << phase << " on " << text;
      }
    }
  }
}

// A literal's data characters are taken in runs; with the state trace on
// every one is a step of its own. Both must give the same text, messages,
// block words, read position and offset, for each literal block, with
// room for the whole literal or only part of it, over a buffer end (every
// text holds both delimiters: the end of the input would be fatal).
TEST_F(EngineOnCutText, LiteralRunsGiveWhatSingleStepsGive) {
  std::string file = path("literal.txt");
  QuietStderr quiet;
  const char* const texts[] = {
      "plain text of a literal, with 'other' quotes and  blanks\t\"rest\n",
      "two\nrecords 'x' \" ]]> &#65;&#1; -- c -- %x; &y; end\"\n",
      "'single' \"x\"'\n",
  };
  ParseControlBlock* const blocks[] = {&pcb_litr, &pcb_litc, &pcb_litp, &pcb_litv, &pcb_litt};
  struct Result {
    std::string text;
    int errors, state, prev_state, last_class, last_action;
    long at;
    int32_t offset;
    bool operator==(const Result&) const = default;
  };
  auto read = [&](ParseControlBlock* pcb, int room, int delimiter) {
    Result r{};
    std::string list = file + std::string(2, '\0');
    if (entity_open_document(list.data()) != 0) return r;
    error_count_reset();
    unsigned char buffer[256];
    int n = parse_literal(buffer, pcb, room, delimiter);
    EntityEntry* e = entity_top;
    r = {std::string(reinterpret_cast<char*>(buffer), static_cast<size_t>(n)), error_count(),
         pcb->state, pcb->prev_state, pcb->last_class, pcb->last_action,
         e ? static_cast<long>(e->count + (e->ptr - e->start)) : -1L, doc_offsets.current_char};
    entity_close_all();
    return r;
  };
  for (const char* text : texts) {
    write_file(file, text);
    for (ParseControlBlock* pcb : blocks) {
      for (int room : {200, 20, 3}) {
        for (int delimiter : {'"', '\''}) {
          trace_on.state = 0;
          Result runs = read(pcb, room, delimiter);
          trace_on.state = 1;
          Result steps = read(pcb, room, delimiter);
          trace_on.state = 0;
          EXPECT_TRUE(runs == steps) << pcb->name << " room " << room << " on " << text << ": "
                                     << runs.text << " / " << steps.text;
        }
      }
    }
  }
}

}  // namespace
