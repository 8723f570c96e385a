// Trace switches from letters, the summary lines and trace_char.
#include <gtest/gtest.h>

#include "sgml/messages/trace.h"
#include "sgml/parser_state.h"
#include "sgml_support.h"

namespace {

std::string traceset_of(const char* letters) {
  SwitchRecord sw;
  sw.instance_trace = letters;
  parser_setup(sw);
  return stderr_of([] { trace_set(); });
}

TEST(Trace, SetFromInstanceLetters) {
  EXPECT_EQ(traceset_of("aq"), "TRACESET: state=0;att=1;con=0;dcl=0;ent=0;grp=0;id=0;ms=0;dcn=0.\n");
  EXPECT_EQ(traceset_of("tacdegimn"),
            "TRACESET: state=1;att=1;con=1;dcl=1;ent=1;grp=1;id=1;ms=1;dcn=1.\n");
  EXPECT_EQ(traceset_of("i"), "TRACESET: state=0;att=0;con=0;dcl=0;ent=0;grp=0;id=1;ms=0;dcn=0.\n");
  // Empty or unknown letters: every switch off, nothing printed.
  EXPECT_EQ(traceset_of(""), "");
  EXPECT_EQ(traceset_of(nullptr), "");
  EXPECT_EQ(traceset_of("xyzTAQ"), "");
  EXPECT_EQ(trace_on.state + trace_on.att + trace_on.id, 0);
}

TEST(Trace, PrologLettersCAndIAreOnButNotSummarised) {
  SwitchRecord sw;
  sw.prolog_trace = "ci";
  std::string out = stderr_of([&] { parser_setup(sw); });
  EXPECT_EQ(out, "");
  EXPECT_EQ(trace_on.con, 1);
  EXPECT_EQ(trace_on.id, 1);
  EXPECT_EQ(trace_on.state, 0);
}

TEST(Trace, CharAsItselfOrOctal) {
  EXPECT_STREQ(trace_char('A'), "A");
  EXPECT_STREQ(trace_char(' '), " ");
  EXPECT_STREQ(trace_char('~'), "~");
  EXPECT_STREQ(trace_char(10), "\\012");
  EXPECT_STREQ(trace_char(127), "\\177");
  EXPECT_STREQ(trace_char(255), "\\377");
  EXPECT_STREQ(trace_char(-1), "\\377");
}

}  // namespace
