// Content models built by hand, their ambiguity check and the context checks
// that follow an element's content. Expected results are worked out from the
// content-model rules of ISO 8879 (a start tag is implied only for an element
// that is contextually required: a required SEQ member that nothing but
// optional tokens precede).
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "io/vqio.h"
#include "sgml/messages/message.h"
#include "sgml/instance/model.h"
#include "sgml/messages/trace.h"
#include "sgml/parser_state.h"
#include "sgml_support.h"
#include "support/recorded_reports.h"

namespace {

// ---------------------------------------------------------------------------
// Element types and models written as text

struct TestElements {
  std::map<std::string, std::unique_ptr<ElementTypeDef>> types;
  std::vector<std::unique_ptr<unsigned char[]>> names;

  ElementTypeDef* get(const std::string& name) {
    auto& slot = types[name];
    if (!slot) {
      slot = std::make_unique<ElementTypeDef>();
      auto counted = std::make_unique<unsigned char[]>(name.size() + 2);
      counted[0] = static_cast<unsigned char>(name.size() + 2);
      std::memcpy(counted.get() + 1, name.c_str(), name.size() + 1);
      slot->name = counted.get();
      names.push_back(std::move(counted));
    }
    return slot.get();
  }
};

TestElements elements;
// The data pseudo element type that every #PCDATA token names.
ElementTypeDef* data_type() { return elements.get("#DATA"); }

// Builds a model from its declared form, e.g. "(A?,(B|C)*)": a group gets
// its connector's type (SEQ for one member) and 0x80 when it can match
// nothing (an OR group with an optional member, or all members optional);
// "?", "+" and "*" add 0xA0, 0x50 and 0xF0.
struct ModelText {
  const char* p;
  std::vector<ModelToken> tokens;
  bool any_element = false, any_pcdata = false, pcdata_first = false;

  uint8_t indicator() {
    if (*p == '?') return ++p, MODEL_IND_OPT;
    if (*p == '+') return ++p, MODEL_IND_PLUS;
    if (*p == '*') return ++p, MODEL_IND_REP;
    return 0;
  }

  // One token; returns whether it may be absent.
  bool token() {
    if (*p == '(') return group();
    if (std::strncmp(p, "#PCDATA", 7) == 0) {
      p += 7;
      if (!any_element && !any_pcdata) pcdata_first = true;
      any_pcdata = true;
      tokens.push_back({MODEL_PCDATA_FLAGS, 0, data_type()});
      return true;
    }
    std::string name;
    while (std::isalnum(static_cast<unsigned char>(*p))) name += *p++;
    EXPECT_FALSE(name.empty()) << "bad model text at " << p;
    any_element = true;
    const size_t at = tokens.size();
    tokens.push_back({MODEL_ELEMENT, 0, elements.get(name)});
    tokens[at].flags |= indicator();
    return (tokens[at].flags & MODEL_OPTIONAL) != 0;
  }

  bool group() {
    ++p;  // "("
    const size_t at = tokens.size();
    tokens.push_back({0, 0, nullptr});
    uint8_t type = MODEL_SEQ;
    int members = 0, optional = 0;
    for (;;) {
      optional += token() ? 1 : 0;
      ++members;
      if (*p == ')') break;
      type = *p == '|' ? MODEL_OR : *p == '&' ? MODEL_AND : MODEL_SEQ;
      ++p;
    }
    ++p;  // ")"
    uint8_t flags = type;
    if ((type == MODEL_OR && optional > 0) || optional == members) flags |= MODEL_OPTIONAL;
    flags |= indicator();
    tokens[at].flags = flags;
    tokens[at].count = static_cast<uint32_t>(members);
    return (flags & MODEL_OPTIONAL) != 0;
  }
};

std::vector<ModelToken> model_of(const char* text) {
  ModelText m{text, {{0, 0, nullptr}}};
  m.group();
  EXPECT_EQ(*m.p, '\0') << text;
  uint8_t header = 0;
  if (m.any_element) header |= 0x40;
  if (m.any_pcdata) header |= 0x80;
  if (m.pcdata_first) header |= 0x20;
  m.tokens[0].flags = header;
  m.tokens[0].count = static_cast<uint32_t>(m.tokens.size() - 1);
  return m.tokens;
}

// ---------------------------------------------------------------------------
// The data model

TEST(ContentModel, TokensOfADeclaredModel) {
  // (A?,(B|C)+,#PCDATA) read as the model compiler lays it out.
  auto m = model_of("(A?,(B|C)+,#PCDATA)");
  ASSERT_EQ(m.size(), 7u);
  EXPECT_EQ(m[0].flags, 0x80 | 0x40);
  EXPECT_EQ(m[0].count, 6u);
  EXPECT_EQ(m[1].flags, MODEL_SEQ);
  EXPECT_EQ(m[1].count, 3u);
  EXPECT_EQ(m[2].flags, MODEL_ELEMENT | 0xA0);
  EXPECT_EQ(m[2].etd, elements.get("A"));
  EXPECT_EQ(m[3].flags, MODEL_OR | 0x50);
  EXPECT_EQ(m[3].count, 2u);
  EXPECT_EQ(m[6].flags, MODEL_PCDATA | 0xC0);
  EXPECT_EQ(m[6].etd, data_type());
  // A repeatable OR group of #PCDATA and an element: header 0x80 + 0x40 + 0x20.
  EXPECT_EQ(model_of("(#PCDATA|A)*")[0].flags, 0xE0);
}

TEST(ContentModel, GroupSizes) {
  auto m = model_of("(A,(B,(C|D)*),E)");
  // Members of the outer group start at 2, 3 and 8.
  EXPECT_EQ(model_group_size(&m[1], 0), 0);
  EXPECT_EQ(model_group_size(&m[1], 1), 1);
  EXPECT_EQ(model_group_size(&m[1], 2), 6);
  EXPECT_EQ(model_group_size(&m[1], 3), 7);
  EXPECT_EQ(model_token_size(&m[3]), 5);
  EXPECT_EQ(model_token_size(&m[5]), 3);
  EXPECT_EQ(model_token_size(&m[2]), 1);
}

TEST(ContentModel, NameGroups) {
  ElementTypeDef* a = elements.get("A");
  ElementTypeDef* b = elements.get("B");
  ElementTypeDef* c = elements.get("C");
  ElementTypeDef* list[] = {a, b, nullptr};
  EXPECT_EQ(group_contains(list, a), 1);
  EXPECT_EQ(group_contains(list, b), 1);
  EXPECT_EQ(group_contains(list, c), 0);
  EXPECT_EQ(group_contains<ElementTypeDef>(nullptr, a), 0);
  ElementTypeDef** copy = dup_word_array(list, 3);
  EXPECT_EQ(copy[0], a);
  EXPECT_EQ(copy[1], b);
  EXPECT_EQ(copy[2], nullptr);
  sgml_free(copy);
}

std::string pointer_text(const void* p) {
  char buf[64];
  vqio_sprintf(buf, "%p", p);
  return buf;
}

TEST(ContentModel, TraceLines) {
  parser_setup(SwitchRecord{});
  auto m = model_of("((#PCDATA|A)*,B)");
  const std::string printed = stderr_of([&] { trace_model(m.data()); });
  EXPECT_EQ(printed, "MODEL    " + pointer_text(m.data()) + " e0 5\n" +
                         "         " + pointer_text(&m[1]) + " 02 2\n" +
                         "         " + pointer_text(&m[2]) + " f1 2\n" +
                         "                      " + pointer_text(data_type()) + " c0 #PCDATA\n" +
                         "                      " + pointer_text(elements.get("A")) + " 04 A\n" +
                         "                      " + pointer_text(elements.get("B")) + " 04 B\n");
  ElementTypeDef* group[] = {elements.get("A"), elements.get("B"), nullptr};
  EXPECT_EQ(stderr_of([&] { trace_element_group(group); }),
            "ETDGRP   " + pointer_text(group) + "\n" +
                "         " + pointer_text(group[0]) + " A\n" +
                "         " + pointer_text(group[1]) + " B\n");
  unsigned char name[] = {3, 'N', 0};
  NotationRecord notation{};
  notation.name = name;
  NotationRecord* notations[] = {&notation, nullptr};
  EXPECT_EQ(stderr_of([&] { trace_notation_group(notations); }),
            "DCNGRP   " + pointer_text(notations) + "\n" +
                "         " + pointer_text(&notation) + " N\n");
}

TEST(ContentModel, HitBitOperations) {
  uint32_t hits[2] = {0, 0};
  EXPECT_EQ(any_hit(hits, 2), 0);
  EXPECT_EQ(next_unhit(hits, 0, 40), 1);
  hits[0] = 0x7;  // members 1 to 3
  hits[1] = 0x1;  // member 33
  EXPECT_EQ(any_hit(hits, 2), 1);
  EXPECT_EQ(next_unhit(hits, 0, 40), 4);
  EXPECT_EQ(next_unhit(hits, 31, 40), 32);
  EXPECT_EQ(next_unhit(hits, 32, 40), 34);
  EXPECT_EQ(next_unhit(hits, 2, 3), 0);

  auto m = model_of("(A&B?&C)");
  uint32_t h = 0x1;  // A
  EXPECT_EQ(group_all_hit(&m[1], &h, 0, 0), 0);  // C missing
  EXPECT_EQ(group_all_hit(&m[1], &h, 3, 0), 1);  // C excepted, B optional
  EXPECT_EQ(group_all_hit(&m[1], &h, 3, 1), 0);  // B counted
  h = 0x5;
  EXPECT_EQ(group_all_hit(&m[1], &h, 0, 0), 1);
}

// ---------------------------------------------------------------------------
// Ambiguity

struct AmbigCase {
  const char* model;
  int ambiguous;
  const char* tags;  // the 220006 reports, in order, names joined by " "
};

// Runs the ambiguity check of model inside an ELEMENT declaration; returns
// its verdict, the names that 220006 reported (joined by " ") and what the
// parser's message printer wrote.
struct AmbigRun {
  int ambiguous = 0;
  std::string tags;
  std::string printed;
  int32_t counted = 0;
};

AmbigRun run_ambig_check(const std::vector<ModelToken>& model) {
  AmbigRun run;
  SwitchRecord sw;
  sw.program_name = "tavrel";
  parser_setup(sw);
  md_context().keyword = kKwELEMENT;
  md_context().has_subject = true;
  md_context().subject = "E";
  md_context().parameters = 3;
  ReportRecorder recorder;
  run.printed = stderr_of([&] { run.ambiguous = ambig_check(model.data()); });
  run.counted = error_count();
  for (const RecordedReport& r : recorder.reports()) {
    EXPECT_EQ(r.severity, 2);
    EXPECT_EQ(r.text.rfind("220006: Ambiguous tag (", 0), 0u) << r.text;
    if (!run.tags.empty()) run.tags += " ";
    run.tags += r.text.substr(23, r.text.size() - 24);
  }
  return run;
}

TEST(Ambiguity, Verdicts) {
  const AmbigCase cases[] = {
      {"(A?,A)", 1, "A"},
      {"((A,B)|(A,C))", 1, "A"},
      {"((A,B)&B)", 0, ""},
      {"((A,B?)&B)", 1, "B"},          // top-level AND: after A, which B?
      {"(C,(A&B?),B)", 1, "B"},         // nested AND
      {"(A,(B|C))", 0, ""},
      {"(#PCDATA|A)*", 0, ""},
      {"(#PCDATA|#PCDATA)", 1, ""},    // two #PCDATA positions, no element to name
      {"(A*,A)", 1, "A"},
      {"(A+,B)", 0, ""},
      {"((A,B)*,A)", 1, "A"},
      {"(A,B)*", 0, ""},
      {"(A|A)", 1, "A"},
      {"(A&A)", 1, "A"},
      {"(A&B)", 0, ""},
      {"(A?,B?,A)", 1, "A"},
      {"((A|B)?,(B|A))", 1, "B A"},    // each named once, in list order
      {"(A,B?,C?,B)", 1, "B"},         // found in the follow row of A
      {"(A,(B,C)?,B)", 1, "B"},
      {"(A,(B,C)?,D)", 0, ""},
      {"((A|B)+,C)", 0, ""},
  };
  for (const AmbigCase& c : cases) {
    const AmbigRun run = run_ambig_check(model_of(c.model));
    EXPECT_EQ(run.ambiguous, c.ambiguous) << c.model;
    EXPECT_EQ(run.tags, c.tags) << c.model;
    if (c.ambiguous) {
      // P137, once, counted: the declaration layout, then the text.
      EXPECT_EQ(run.printed,
                "tavrel: SGML error in declaration parameter 3:\n"
                "        Content model is ambiguous\n")
          << c.model;
      EXPECT_EQ(run.counted, 1) << c.model;
    } else {
      EXPECT_EQ(run.printed, "") << c.model;
      EXPECT_EQ(run.counted, 0) << c.model;
    }
    // Marks are back at rest.
    for (auto& [name, etd] : elements.types) EXPECT_EQ(etd->mark, 0) << c.model << " " << name;
  }
}

TEST(Ambiguity, TablesAreMadeAgainAfterFree) {
  EXPECT_EQ(run_ambig_check(model_of("(A?,A)")).ambiguous, 1);
  ambig_free();
  EXPECT_EQ(run_ambig_check(model_of("(A?,A)")).ambiguous, 1);
  // No row is left over from the models before.
  EXPECT_EQ(run_ambig_check(model_of("(A,B)")).ambiguous, 0);
}

// ---------------------------------------------------------------------------
// Context checks

// A step: "NAME" checks NAME in mode 0, "+NAME" in trial mode -1, "-k:NAME"
// in excluding mode k, "#" is data; "NAME=r" expects result r, "=r/I"
// result r with implied element I. "$r" checks the end: 1 or 0, "$0/I" with
// I implied ("$0/" none).
struct ContextCase {
  const char* model;
  const char* steps;
};

std::vector<std::string> split(const std::string& s) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < s.size()) {
    const size_t j = s.find(' ', i);
    out.push_back(s.substr(i, j == std::string::npos ? std::string::npos : j - i));
    if (j == std::string::npos) break;
    i = j + 1;
  }
  return out;
}

void run_context_case(const ContextCase& c) {
  auto model = model_of(c.model);
  ContextState state;
  context_state_init(&state, 1);
  uint8_t status = 0;
  for (const std::string& step : split(c.steps)) {
    SCOPED_TRACE(std::string(c.model) + " step " + step);
    const size_t eq = step.find('=');
    if (step[0] == '$') {
      const std::string want = step.substr(1);
      const int rc = end_context_check(model.data(), &state, &status);
      EXPECT_EQ(rc, want[0] - '0');
      const size_t slash = want.find('/');
      if (slash != std::string::npos) {
        ElementTypeDef* implied = context_implied_element();
        const std::string name = want.substr(slash + 1);
        EXPECT_EQ(implied, name.empty() ? nullptr : elements.get(name));
      }
      continue;
    }
    ASSERT_NE(eq, std::string::npos);
    std::string who = step.substr(0, eq);
    int mode = 0;
    if (who[0] == '+') {
      mode = -1;
      who = who.substr(1);
    } else if (who[0] == '-') {
      mode = who[1] - '0';
      who = who.substr(3);
    }
    ElementTypeDef* element = who == "#" ? data_type() : elements.get(who);
    const std::string want = step.substr(eq + 1);
    const int rc = context_check(element, model.data(), &state, &status, mode);
    EXPECT_EQ(rc, want[0] - '0');
    const size_t slash = want.find('/');
    if (slash != std::string::npos) {
      EXPECT_EQ(context_implied_element(), elements.get(want.substr(slash + 1)));
    }
  }
}

TEST(ContextCheck, Sequences) {
  const ContextCase cases[] = {
      {"(A,B,C)", "$0/A A=4 $0/B B=4 C=4 $1 X=1 +X=7"},
      {"(A,B,C)", "C=2/A C=2/B C=4 $1"},     // each missing required one implied in turn
      {"(A,B)", "X=2/A X=2/B X=1"},          // implied though X fits nowhere
      {"(D)", "$0/D X=2/D X=1 D=1 $1"},      // the document element under *DOC
      {"(A?,B)", "B=4 $1"},
      {"(A?,B)", "A=4 A=2/B"},               // A taken once only
      {"(A?,B)", "X=2/B $1"},                // B contextually required, A optional
      {"(A?,B?)", "$1 B=4 A=1 $1"},
      {"(A+,B)", "A=4 A=4 A=4 $0/B B=4 $1"},
      {"(A+,B)", "B=2/A B=4"},
      {"(A*,B*,C)", "B=4 B=4 A=2/C"},        // A cannot come back after B
      {"(A,B*,C?)", "A=4 $1 C=4 B=1 $1"},
      {"(A,B)+", "A=4 B=4 A=4 $0/B B=4 $1 X=1"},
      {"(A,B)+", "A=4 X=2/B"},
  };
  for (const ContextCase& c : cases) run_context_case(c);
}

TEST(ContextCheck, OrGroups) {
  const ContextCase cases[] = {
      {"(A|B)", "$0/ B=4 $1 A=1 +A=7"},
      {"(A|B)", "X=3 $0/ A=4"},              // no contextually required element
      {"(A|B)*", "$1 A=4 B=4 A=4 X=1 $1"},
      {"(A|B)+", "$0/ B=4 B=4 A=4 $1"},
      {"((A,B)|C)", "C=4 $1 A=1"},
      {"((A,B)|C)", "B=3 A=4 $0/B C=2/B"},
      {"(A,(B|C),D)", "A=4 D=3 $0/ C=4 D=4 $1"},
      {"(A,(B|C)?,D)", "A=4 D=4 $1"},
      {"(#PCDATA|A)*", "#=4 A=4 #=4 #=4 B=1 $1"},
      {"(#PCDATA)", "#=4 #=4 A=1 $1"},
  };
  for (const ContextCase& c : cases) run_context_case(c);
}

TEST(ContextCheck, AndGroups) {
  const ContextCase cases[] = {
      {"(A&B)", "B=4 $0/A A=4 $1 X=1"},
      {"(A&B)", "A=4 A=3 B=4"},              // A twice refused; B still taken
      {"(A&B)", "X=3 $0/"},                  // neither A nor B alone is required
      {"(A&B&C)", "C=4 A=4 $0/B B=4 $1"},
      {"(A&B?&C)", "C=4 A=4 $1 B=4 $1"},
      {"(A&B?&C)", "A=4 C=4 X=1"},
      {"(A&(B,C))", "B=4 A=2/C A=4 $1"},      // an AND member runs as one unit
      {"(A&(B,C))", "A=4 B=4 $0/C C=4 $1"},
      {"(A+&B)", "A=4 A=4 B=4 A=1"},         // A+ is one unit
      {"(X,(A&B),Y)", "X=4 Y=3 B=4 A=4 Y=4 $1"},
      {"(X,(A&B?),Y)", "X=4 A=4 Y=4"},
      {"((A&B)+)", "A=4 B=4 B=4 A=4 $1"},
  };
  for (const ContextCase& c : cases) run_context_case(c);
}

TEST(ContextCheck, NestedGroups) {
  const ContextCase cases[] = {
      {"(A,(B,C)?,D)", "A=4 D=4 $1"},
      {"(A,(B,C)?,D)", "A=4 B=4 C=4 D=4"},
      {"(A,(B,C)?,D)", "A=4 B=4 D=2/C D=4"},
      {"((A?,B),C)", "C=2/B C=4"},           // B required first inside the group
      {"((A,B)*,C)", "A=4 B=4 A=4 B=4 C=4 $1"},
      {"((A,B)*,C)", "A=4 C=2/B C=4"},
      {"(A,((B|C),D)+)", "A=4 C=4 D=4 B=4 D=4 X=1"},
      {"(A,((B|C),D)+)", "A=4 $0/ D=3 B=4 $0/D"},
  };
  for (const ContextCase& c : cases) run_context_case(c);
}

TEST(ContextCheck, TrialsLeaveTheStateAlone) {
  const ContextCase cases[] = {
      // A refused trial (7) changes nothing: the next check gives what it gives without it.
      {"(A,B)", "A=4 +X=7 B=4"},
      {"(A,B)", "+B=7 A=4 B=4"},             // no start tag is implied in a trial
      {"(A,B)", "+A=4 +B=4 +B=7 X=1"},       // an included element that fits is taken
      {"(A?,B?)", "+X=7 B=4 +X=7 A=1"},
      {"(A&B)", "+X=7 B=4 +B=7 A=4"},
      {"((A,B)+)", "A=4 B=4 +X=7 A=4"},
  };
  for (const ContextCase& c : cases) run_context_case(c);
}

TEST(ContextCheck, ExcludingMode) {
  const ContextCase cases[] = {
      {"(A,B?,C)", "A=4 -1:B=5 C=4"},        // optional token matched and consumed
      {"(A,B?,C)", "A=4 -1:C=6 $1"},         // required token outside an OR group
      {"(A,(B|C),D)", "A=4 -2:C=5 D=4"},     // in an OR group
      {"(A,B)", "A=4 -1:X=2/B"},             // a required token still comes first
      {"(A|B)", "-1:X=5 A=4"},               // no match: nothing consumed
      {"(A?,B)", "-1:B=6"},
  };
  for (const ContextCase& c : cases) run_context_case(c);
}

TEST(ContextCheck, StatusByte) {
  auto model = model_of("(A,B)");
  ContextState state;
  context_state_init(&state, 1);
  uint8_t status = 0;
  EXPECT_EQ(context_check(elements.get("A"), model.data(), &state, &status, 0), 4);
  EXPECT_EQ(status, CONTEXT_STATUS_ACTIVE);
  EXPECT_EQ(context_check(elements.get("B"), model.data(), &state, &status, 0), 4);
  EXPECT_EQ(status, CONTEXT_STATUS_COMPLETE);
  // A refused element leaves state and status as they were.
  ContextState before;
  state_copy(&before, &state);
  EXPECT_EQ(context_check(elements.get("X"), model.data(), &state, &status, 0), 1);
  EXPECT_EQ(status, CONTEXT_STATUS_COMPLETE);

  auto many = model_of("(A,B,C)");
  context_state_reset(&state);
  status = 0;
  EXPECT_EQ(context_check(elements.get("A"), many.data(), &state, &status, 0), 4);
  state_copy(&before, &state);
  const uint8_t status_before = status;
  EXPECT_EQ(context_check(elements.get("A"), many.data(), &state, &status, -1), 7);
  EXPECT_EQ(status, status_before);
  EXPECT_EQ(state.levels.size(), before.levels.size());
  for (size_t i = 0; i < state.levels.size(); ++i) {
    EXPECT_EQ(state.levels[i].token, before.levels[i].token);
    EXPECT_EQ(state.levels[i].member, before.levels[i].member);
  }
  EXPECT_EQ(state.hits, before.hits);
}

TEST(ContextCheck, DeclaredContentTakesNoElement) {
  const ModelToken empty[] = {{0x10, 0, nullptr}};  // EMPTY: the header alone
  ContextState state;
  context_state_init(&state, 1);
  uint8_t status = 0;
  ElementTypeDef* a = elements.get("A");
  EXPECT_EQ(context_check(a, empty, &state, &status, 0), 1);
  EXPECT_EQ(context_check(a, empty, &state, &status, -1), 7);
  EXPECT_EQ(context_check(a, empty, &state, &status, 2), 5);
  EXPECT_EQ(end_context_check(empty, &state, &status), 1);
}

TEST(ContextCheck, AModelInTheStorageOfAnEarlierOneIsReadAfresh) {
  // The checks keep, by token address, which member of a group begins
  // with an element. A model made later in the same storage, with its
  // members in another order, is read by its own members once a state is
  // set up again: B is its first member now, not its second.
  std::vector<ModelToken> model = model_of("(A|B)");
  ContextState state;
  uint8_t status = 0;
  context_state_init(&state, 1);
  EXPECT_EQ(context_check(elements.get("B"), model.data(), &state, &status, 0), 4);
  const std::vector<ModelToken> other = model_of("(B|A)");
  ASSERT_EQ(other.size(), model.size());
  std::copy(other.begin(), other.end(), model.begin());  // same addresses
  context_state_init(&state, 1);
  status = 0;
  EXPECT_EQ(context_check(elements.get("B"), model.data(), &state, &status, 0), 4);
  EXPECT_EQ(status, CONTEXT_STATUS_COMPLETE);
  EXPECT_EQ(context_check(elements.get("A"), model.data(), &state, &status, 0), 1);
}

TEST(ContextCheck, ManyMembersUseSeveralHitWords) {
  // An AND group of 40 members: hit bits run into the second word.
  std::string text = "(";
  for (int i = 1; i <= 40; ++i) text += (i > 1 ? "&E" : "E") + std::to_string(i);
  text += ")";
  auto model = model_of(text.c_str());
  ContextState state;
  context_state_init(&state, 2);
  uint8_t status = 0;
  for (int i = 40; i >= 2; --i)
    EXPECT_EQ(context_check(elements.get("E" + std::to_string(i)), model.data(), &state, &status, 0), 4)
        << i;
  EXPECT_EQ(end_context_check(model.data(), &state, &status), 0);
  EXPECT_EQ(context_implied_element(), elements.get("E1"));
  EXPECT_EQ(context_check(elements.get("E33"), model.data(), &state, &status, 0), 3);
  EXPECT_EQ(context_check(elements.get("E1"), model.data(), &state, &status, 0), 4);
  EXPECT_EQ(status, CONTEXT_STATUS_COMPLETE);
}

}  // namespace

namespace {

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < text.size()) {
    const size_t j = text.find('\n', i);
    out.push_back(text.substr(i, j - i));
    if (j == std::string::npos) break;
    i = j + 1;
  }
  return out;
}

TEST(ContextCheck, TraceLines) {
  parser_setup(SwitchRecord{});
  auto model = model_of("(A,B)");
  ContextState state;
  context_state_init(&state, 1);
  uint8_t status = 0;
  trace_on.con = 1;
  const std::vector<std::string> lines = lines_of(stderr_of([&] {
    context_check(elements.get("A"), model.data(), &state, &status, 0);
    end_context_check(model.data(), &state, &status);
  }));
  trace_on.con = 0;
  // Two lines per step: the levels (group position, member, hit words), the
  // current token and the innermost group; then the element checked and the
  // current token, with the end check's result on its second line.
  ASSERT_EQ(lines.size(), 10u);
  EXPECT_EQ(lines[0], "CONTEXT    0: (1) gocc=00 gtype=02 gnum=1 status=0 Tstart=1");
  EXPECT_EQ(lines[1].rfind("=>A        tocc=00 ttype=02 thetd=", 0), 0u) << lines[1];
  EXPECT_EQ(lines[1].substr(lines[1].size() - 9), " (#GROUP)");
  EXPECT_EQ(lines[2], "OPENGRP    1: 1-1:00000000 (2) gocc=00 gtype=02 gnum=2 status=0 Tstart=1");
  EXPECT_EQ(lines[3].substr(lines[3].size() - 4), " (A)");
  EXPECT_EQ(lines[4], "STATUS     1: 1-2:00000001 (3) gocc=00 gtype=02 gnum=2 status=4 Tstart=1");
  EXPECT_EQ(lines[6], "ECONT      1: 1-2:00000001 (3) gocc=00 gtype=02 gnum=2 status=4 Tstart=3");
  EXPECT_EQ(lines[7].substr(lines[7].size() - 28), " (B) rc=0 offbitT=0 allhit=0");
  EXPECT_EQ(lines[8].rfind("ECONTEND   1:", 0), 0u);
  EXPECT_EQ(lines[9].substr(lines[9].size() - 28), " (B) rc=0 offbitT=2 allhit=0");
}

}  // namespace

namespace {

// Random models over the elements A to D, kept both as a model and as a
// tree that a plain set matcher reads: the positions where a token can end
// when it starts at i, an AND group tried in every order of its members.
// For every model the ambiguity check finds unambiguous, every sequence of
// up to four elements must be accepted by the context checks (each one 4,
// then an end check of 1) exactly when the matcher can end the whole model
// at its end. An AND group that may repeat is left out: the checks read an
// element one token ahead and keep it in the current round of the group, as
// ISO 8879 asks ((D&C+)* refuses "DCCD", which the matcher splits as "DC"
// and "CD").
struct Node {
  char element = 0;  // 0 for a group
  char conn = ',';
  char ind = 0;
  std::vector<Node> kids;
};

using Ends = std::set<size_t>;

Ends ends_of(const Node& n, const std::string& seq, size_t i);

Ends ends_once(const Node& n, const std::string& seq, size_t i) {
  Ends out;
  if (n.element != 0) {
    if (i < seq.size() && seq[i] == n.element) out.insert(i + 1);
    return out;
  }
  if (n.conn == '|') {
    for (const Node& k : n.kids) {
      const Ends e = ends_of(k, seq, i);
      out.insert(e.begin(), e.end());
    }
    return out;
  }
  std::vector<size_t> order(n.kids.size());
  for (size_t k = 0; k < order.size(); ++k) order[k] = k;
  do {
    Ends cur{i};
    for (size_t k : order) {
      Ends next;
      for (size_t j : cur) {
        const Ends e = ends_of(n.kids[k], seq, j);
        next.insert(e.begin(), e.end());
      }
      cur = next;
    }
    out.insert(cur.begin(), cur.end());
  } while (n.conn == '&' && std::next_permutation(order.begin(), order.end()));
  return out;
}

Ends ends_of(const Node& n, const std::string& seq, size_t i) {
  Ends out = ends_once(n, seq, i);
  if (n.ind == '+' || n.ind == '*') {
    Ends todo = out;
    while (!todo.empty()) {
      const size_t j = *todo.begin();
      todo.erase(todo.begin());
      for (size_t e : ends_once(n, seq, j))
        if (out.insert(e).second) todo.insert(e);
    }
  }
  if (n.ind == '?' || n.ind == '*') out.insert(i);
  return out;
}

struct RandomModel {
  std::mt19937 rng;
  bool repeated_and = false;
  int pick(int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); }

  Node member(int depth, bool repeated, std::string* text) {
    const char ind[] = {0, 0, '?', '*', '+'};
    Node n;
    n.ind = ind[pick(5)];
    const bool repeats = repeated || n.ind == '*' || n.ind == '+';
    if (depth == 0 || (depth < 3 && pick(3) == 0)) {
      group(depth + 1, repeats, text, &n);
    } else {
      n.element = static_cast<char>('A' + pick(4));
      *text += n.element;
    }
    if (n.ind != 0) *text += n.ind;
    return n;
  }

  void group(int depth, bool repeated, std::string* text, Node* n) {
    const int members = 1 + pick(3);
    n->conn = "|,&"[pick(3)];
    if (n->conn == '&' && members > 1 && repeated) repeated_and = true;
    *text += "(";
    for (int i = 0; i < members; ++i) {
      if (i > 0) *text += n->conn;
      n->kids.push_back(member(depth, repeated, text));
    }
    *text += ")";
  }
};

bool checks_accept(const std::vector<ModelToken>& model, const std::string& seq) {
  ContextState state;
  context_state_init(&state, 1);
  uint8_t status = 0;
  for (char c : seq)
    if (context_check(elements.get(std::string(1, c)), model.data(), &state, &status, 0) != 4)
      return false;
  return end_context_check(model.data(), &state, &status) == 1;
}

TEST(ContextCheck, AgreesWithASetMatcherOnUnambiguousModels) {
  RandomModel gen{std::mt19937(8879)};
  std::vector<std::string> sequences{""};
  for (size_t i = 0; i < sequences.size() && sequences[i].size() < 4; ++i)
    for (char c = 'A'; c <= 'D'; ++c) sequences.push_back(sequences[i] + c);
  int unambiguous = 0;
  for (int n = 0; n < 500; ++n) {
    std::string text;
    gen.repeated_and = false;
    const Node tree = gen.member(0, false, &text);
    if (gen.repeated_and) continue;
    auto model = model_of(text.c_str());
    int ambiguous;
    {
      ReportRecorder quiet;
      ambiguous = ambig_check(model.data());
    }
    if (ambiguous) continue;
    ++unambiguous;
    for (const std::string& seq : sequences)
      EXPECT_EQ(checks_accept(model, seq), ends_of(tree, seq, 0).count(seq.size()) == 1)
          << text << " with \"" << seq << "\"";
  }
  EXPECT_GT(unambiguous, 200);
}

}  // namespace
