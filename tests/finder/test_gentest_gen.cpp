// The test generator's documents against a replay written here: the
// generation steps walked again over the parser's element table with the
// random source's formula written again, drawing in the documented order
// (a chance only when the conditions before it hold; the unclosed and NET
// draws of every start tag). Beside the replay, properties worked out by
// hand: the edge cases of the steps, stray characters over many seeds, the
// depth bounds of recursive models, large groups and many Regions.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "dtd_support.h"
#include "finder/gentest.h"
#include "sgml/entities/attlist.h"
#include "sgml/instance/model.h"
#include "sgml/parser_state.h"

namespace {

// ---------------------------------------------------------------------------
// The replay.

struct Replay {
  const TestSetup* setup;
  int32_t state;
  const TestParams* cur = nullptr;
  int32_t ids = 0;
  bool mixed = false;
  int depth = 0;            // open elements
  bool stopped = false;     // cut at 200 open elements
  std::string out;
  // Where an unclosed start tag ended, and the depth of its element; it
  // still waits for ">" while no "<" has been written after it.
  size_t pending_at = std::string::npos;
  int pending_depth = -1;

  double uniform() {
    uint32_t s = static_cast<uint32_t>(state);
    s = s * 843314861u + 453816693u;
    state = static_cast<int32_t>(s % 2147483648u);
    return state * 4.656612e-10;
  }
  int32_t rnd(int64_t n) { return static_cast<int32_t>(uniform() * (n + 1.0)); }
  bool chance(float p) { return uniform() <= p; }

  const TestParams* of(const ElementTypeDef* e) { return setup->lookup(name_chars(e->name)); }
  bool pending() const {
    return pending_at != std::string::npos && out.find('<', pending_at) == std::string::npos;
  }
  void close_pending() {
    if (pending()) out += '>';
    pending_at = std::string::npos;
  }

  static int size(const ContentModel* t) {
    if (model_type(t) == MODEL_PCDATA || model_type(t) == MODEL_ELEMENT) return 1;
    int n = 1;
    const ContentModel* m = t + 1;
    for (uint32_t i = 0; i < t->count; ++i) {
      n += size(m);
      m += size(m);
    }
    return n;
  }
  static bool pcdata_in(const ContentModel* g) {
    const ContentModel* m = g + 1;
    for (uint32_t i = 0; i < g->count; m += size(m), ++i) {
      if (model_type(m) == MODEL_PCDATA) return true;
      if (model_type(m) != MODEL_ELEMENT && pcdata_in(m)) return true;
    }
    return false;
  }
  static bool is_mixed(const ContentModel* g) {
    if (pcdata_in(g)) return true;
    const ContentModel* m = g + 1;
    for (uint32_t i = 0; i < g->count; m += size(m), ++i)
      if (model_type(m) == MODEL_ELEMENT && m->etd->model != nullptr &&
          m->etd->model->count > 0 && pcdata_in(m->etd->model + 1))
        return true;
    return false;
  }

  int32_t times(uint8_t flags, int32_t star, int32_t plus, float opt) {
    const bool deep = depth > 100;
    switch (flags & 0x30) {
      case 0x30: return deep ? 0 : rnd(star);
      case 0x10: return deep ? 1 : rnd(int64_t{plus} - 1) + 1;
      case 0x20: return deep ? 0 : chance(opt);
      default: return 1;
    }
  }

  void data() {
    close_pending();
    const int32_t n = rnd(cur->data_range);
    char last = 0;
    for (int32_t i = 0; i < n; ++i) {
      const int32_t r = rnd(cur->data_char_range);
      if (r > 0) {
        last = static_cast<char>(cur->data_char_start + r - 1);
        out += last;
      } else if (last != ' ') {
        last = ' ';
        out += last;
      }
    }
    if (cur->data_eoln && chance(cur->data_eoln_prob)) out += '\n';
  }

  void chars(int32_t range, int32_t span, char first) {
    for (int32_t n = rnd(range) + 1; n > 0; --n) out += static_cast<char>(first + rnd(span));
  }

  void attributes(const AttributeList* a) {
    for (int32_t i = 1; i <= a[0].count; ++i) {
      if (i > 1) out += ' ';
      out += std::string(name_chars(a[i].name)) + "=";
      if (a[i].flags & 0x10) {
        out += name_chars(a[i + 1 + rnd(a[i].count - 1)].name);
        i += a[i].count;
        continue;
      }
      out += '"';
      const int kind = a[i].declared;
      if (kind == 1) {
        out += "notation";
      } else if (kind == 3 || kind == 10) {
        out += "entity";
      } else if (kind == 4) {
        out += "id" + std::to_string(ids++);
      } else if (kind == 5 || kind == 11) {
        out += "id" + std::to_string(ids == 0 ? 0 : ids - 1);
      } else if (kind == 8 || kind == 9 || kind == 14 || kind == 15) {
        chars(cur->att_num_range, cur->att_num_char_range, cur->att_num_char_start);
      } else {
        chars(cur->att_range, cur->att_char_range, cur->att_char_start);
      }
      out += '"';
    }
  }

  void element(const ElementTypeDef* e, uint8_t flags) {
    cur = of(e);
    const TestParams* mine = cur;
    for (int32_t n = times(flags, cur->orep, cur->rep, cur->opt_prob); n > 0 && !stopped; --n) {
      if (depth == 200) {
        stopped = true;
        return;
      }
      ++depth;
      // Start tag.
      if (!mixed && cur->stag_eoln && chance(cur->stag_eoln_prob)) out += '\n';
      const bool omitted = cur->omit_stag && (e->flags & 0x40) && chance(cur->omit_stag_prob);
      if (!omitted) {
        pending_at = std::string::npos;
        out += std::string("<") + name_chars(e->name);
        if (e->attributes != nullptr && e->attributes[0].count > 0) {
          out += ' ';
          attributes(e->attributes);
        }
      }
      bool unclosed = cur->unclose_tag ? chance(cur->unclose_tag_prob) : false;
      bool net = cur->net_tag ? chance(cur->net_tag_prob) : false;
      if (omitted) {
        unclosed = net = false;
      } else if (unclosed) {
        net = false;
        pending_at = out.size();
        pending_depth = depth;
      } else {
        out += net ? '/' : '>';
      }
      // Content and end tag.
      const ContentModel* m = e->model;
      const bool empty = m == nullptr || (m->count == 0 && (m->flags & 0x10));
      bool end_written = false;
      if (m != nullptr && m->count > 0)
        group(m + 1, mine, false);
      else if (!empty)
        data();
      if (!empty) {
        if (net) {
          out += '/';
          end_written = true;
        } else if (!(cur->omit_etag && (e->flags & 0x04) && chance(cur->omit_etag_prob)) &&
                   !omitted) {
          out += std::string("</") + name_chars(e->name) + ">";
          end_written = true;
        }
      }
      if (!end_written && pending_depth == depth) close_pending();
      --depth;
    }
  }

  void group(const ContentModel* g, const TestParams* owner, bool mixed_in) {
    const int32_t reps = times(g->flags, cur->grp_orep, cur->grp_rep, cur->grp_opt_prob);
    const bool mix = mixed_in || is_mixed(g);
    for (int32_t r = 0; r < reps && !stopped; ++r) {
      std::vector<const ContentModel*> members;
      for (const ContentModel* m = g + 1; members.size() < g->count; m += size(m))
        members.push_back(m);
      if (model_type(g) == MODEL_OR) members = {members[rnd(g->count - 1)]};
      for (const ContentModel* m : members) {
        if (stopped) break;
        mixed = mix;
        if (model_type(m) == MODEL_ELEMENT) {
          element(m->etd, m->flags);
          cur = owner;
        } else if (model_type(m) == MODEL_PCDATA) {
          data();
        } else {
          group(m, owner, mix);
        }
      }
    }
  }
};

// The document the replay makes for the parsed DTD.
std::string replay(const TestSetup& setup) {
  Replay r;
  r.setup = &setup;
  r.state = setup.seed;
  const ElementTypeDef* doc = etd_find(reinterpret_cast<const unsigned char*>("\006*DOC"));
  r.cur = r.of(doc->model[2].etd);
  r.group(doc->model + 1, r.of(doc), false);
  return r.out + "\n";
}

// ---------------------------------------------------------------------------

class Gentest : public DtdFixture {
 protected:
  // The generator's document for the parsed DTD with the parameter file
  // text and the -S value, checked against the replay.
  std::string generate(const std::string& params, int32_t seed) {
    const std::string file = path("p.mad");
    write_file(file, params);
    std::string out = output([&] { test_mode(file, seed, vqio_stdout); });
    TestSetup setup;
    test_params_read(file, seed, &setup);
    EXPECT_EQ(out, replay(setup)) << "seed " << seed << "\n" << params;
    return out;
  }
};

// Parameters: the general ones under Regions, then Regions.
std::string params_file(const std::string& general, const std::string& regions = "") {
  return "<Regions>\n" + general + "\n" + regions + "</Regions>\n";
}

const char kAllOn[] =
    "<OmitStag>1</OmitStag><OmitStagProb>0.4</OmitStagProb>"
    "<OmitEtagProb>0.5</OmitEtagProb><NetTagProb>0.3</NetTagProb>"
    "<UncloseTagProb>0.3</UncloseTagProb><StagEolnProb>0.5</StagEolnProb>";
const char kAllOff[] =
    "<OmitEtag>0</OmitEtag><NetTag>0</NetTag><UncloseTag>0</UncloseTag>";

// Groups of every connector and occurrence, mixed content, declared
// content of every kind, attributes of every declared value.
const char kKitchen[] =
    "<!DOCTYPE doc [\n"
    "<!NOTATION gif SYSTEM \"gif\">\n"
    "<!ENTITY pic SYSTEM \"pic.gif\" NDATA gif>\n"
    "<!ELEMENT doc - - (head, (sec | app)+, (x & y)?, back*)>\n"
    "<!ELEMENT head O O (title, au*)>\n"
    "<!ELEMENT title - O (#PCDATA)>\n"
    "<!ELEMENT au - O (#PCDATA | em)*>\n"
    "<!ELEMENT sec - O (title?, (p | list | fig)+)>\n"
    "<!ELEMENT app - - ((p, fig?) | code)*>\n"
    "<!ELEMENT p O O (#PCDATA | em | br | ref)*>\n"
    "<!ELEMENT em - - (#PCDATA)>\n"
    "<!ELEMENT br - O EMPTY>\n"
    "<!ELEMENT ref - O EMPTY>\n"
    "<!ELEMENT list - - (item+)>\n"
    "<!ELEMENT item - O (p+)>\n"
    "<!ELEMENT fig - - (code, cap?)>\n"
    "<!ELEMENT code - - CDATA>\n"
    "<!ELEMENT cap - - RCDATA>\n"
    "<!ELEMENT x - - ANY>\n"
    "<!ELEMENT y - O (#PCDATA)>\n"
    "<!ELEMENT back - - (p*)>\n"
    "<!ATTLIST sec id ID #IMPLIED kind (a|b|c) a n NUMBER #IMPLIED\n"
    "              t CDATA #IMPLIED nm NAME #IMPLIED tk NMTOKEN #IMPLIED>\n"
    "<!ATTLIST ref to IDREF #REQUIRED tos IDREFS #IMPLIED>\n"
    "<!ATTLIST fig ent ENTITY #IMPLIED ents ENTITIES #IMPLIED nt NOTATION (gif) #IMPLIED\n"
    "              nms NAMES #IMPLIED tks NMTOKENS #IMPLIED nus NUTOKENS #IMPLIED\n"
    "              nu NUTOKEN #IMPLIED nbs NUMBERS #IMPLIED>\n"
    "<!ATTLIST p ref IDREF #IMPLIED>\n"
    "]>\n<doc></doc>\n";

TEST_F(Gentest, SmallDtdMatchesTheReplayForSeedsAndParameterFiles) {
  parse(kKitchen);
  ASSERT_EQ(messages_, "");
  const std::string files[] = {
      params_file(""),
      params_file(kAllOn),
      params_file(kAllOff),
      params_file("<Orep>4</Orep><Rep>4</Rep><GrpOrep>3</GrpOrep><GrpOptProb>0.9</GrpOptProb>"
                  "<OptProb>0.8</OptProb><DataCharRange>5</DataCharRange>"
                  "<DataCharStart>k</DataCharStart><AttCharStart>m</AttCharStart>"
                  "<AttNumCharRange>5</AttNumCharRange><DataEolnProb>0.8</DataEolnProb>"),
      params_file(kAllOn, "<Region><Name>P</Name><Orep>0</Orep><DataRange>2</DataRange></Region>\n"
                          "<Region><Name>SEC</Name><GrpRep>1</GrpRep><UncloseTagProb>1</UncloseTagProb>"
                          "</Region>\n<Region><Name>ITEM</Name><Rep>6</Rep><OmitStag>0</OmitStag>"
                          "</Region>\n"),
      // Values at and beyond the ends of their ranges.
      params_file("<Rep>0</Rep><Orep>-3</Orep><GrpRep>-2147483648</GrpRep><GrpOrep>0</GrpOrep>"
                  "<DataRange>0</DataRange><AttRange>0</AttRange><AttNumCharRange>0</AttNumCharRange>"
                  "<OptProb>-1</OptProb><GrpOptProb>2</GrpOptProb>"),
  };
  for (const std::string& f : files)
    for (int32_t seed : {1, 2, 13, 77, 1000, 123456789}) generate(f, seed);
}

TEST_F(Gentest, EqualSeedsAndFilesGiveEqualDocumentsAndTheFileSeedWins) {
  parse(kKitchen);
  const std::string a = generate(params_file(kAllOn), 5);
  EXPECT_EQ(generate(params_file(kAllOn), 5), a);
  EXPECT_NE(generate(params_file(kAllOn), 6), a);
  // Seed 5 in the file over -S 99; -S 0 or below is no seed (13).
  EXPECT_EQ(generate("<Seed>5</Seed>" + params_file(kAllOn), 99), a);
  EXPECT_EQ(generate(params_file(kAllOn), 0), generate(params_file(kAllOn), 13));
  EXPECT_EQ(generate(params_file(kAllOn), -4), generate(params_file(kAllOn), 13));
}

// The edge cases, worked by hand.
TEST_F(Gentest, EdgeCases) {
  parse(
      "<!DOCTYPE a [\n"
      "<!ELEMENT a - - (r, e, s)>\n"
      "<!ELEMENT r - O EMPTY>\n"
      "<!ATTLIST r to IDREF #IMPLIED>\n"
      "<!ELEMENT e - O EMPTY>\n"
      "<!ATTLIST e id ID #IMPLIED>\n"
      "<!ELEMENT s - - (m*, b*)>\n"
      "<!ELEMENT m - - (#PCDATA | b)*>\n"
      "<!ELEMENT b - - (#PCDATA)>\n"
      "]>\n<a></a>\n");
  // Every start tag unclosed, no NET: the tags of A and R stand back to
  // back; R refers to id0 before any ID; an EMPTY element gets its ">" at
  // its end and never an end tag.
  for (int32_t seed = 1; seed <= 10; ++seed) {
    const std::string out = generate(
        params_file("<UncloseTagProb>1</UncloseTagProb><NetTag>0</NetTag><StagEoln>0</StagEoln>"
                    "<DataEoln>0</DataEoln><OmitEtag>0</OmitEtag>"),
        seed);
    EXPECT_EQ(out.rfind("<A<R TO=\"id0\"><E ID=\"id0\"><S", 0), 0u) << out;
    EXPECT_EQ(out.find("</R>"), std::string::npos);
    EXPECT_EQ(out.find("</E>"), std::string::npos);
  }
  // A newline before each start tag outside mixed content (A's group is
  // not mixed), none inside it (S's group is, through M).
  for (int32_t seed = 1; seed <= 20; ++seed) {
    const std::string out =
        generate(params_file("<StagEolnProb>1</StagEolnProb><DataEoln>0</DataEoln>"
                             "<UncloseTag>0</UncloseTag><NetTag>0</NetTag><OmitEtag>0</OmitEtag>"
                             "<Orep>3</Orep>"),
                 seed);
    const std::string head = "\n<A>\n<R TO=\"id0\">\n<E ID=\"id0\">\n<S>";
    EXPECT_EQ(out.substr(0, head.size()), head) << out;
    EXPECT_EQ(out.find('\n', head.size()), out.size() - 1) << out;
  }
  // A Region with Orep 0 for B: no B where it is declared with "*" (nor in
  // M, where the group repeats and B occurs once when picked), while M
  // keeps the general Orep.
  size_t most_m = 0;
  for (int32_t seed = 1; seed <= 10; ++seed) {
    const std::string out =
        generate(params_file("<Orep>3</Orep>", "<Region><Name>B</Name><Orep>0</Orep></Region>"),
                 seed);
    size_t m = 0;
    for (size_t at = out.find("<M"); at != std::string::npos; at = out.find("<M", at + 1)) ++m;
    most_m = std::max(most_m, m);
    const size_t s_end = out.find("</S>");
    for (size_t at = out.find("<B"); at != std::string::npos; at = out.find("<B", at + 1))
      EXPECT_LT(at, out.rfind("</M>", s_end)) << out;
  }
  EXPECT_GE(most_m, 2u);
}

// Stray characters: over many seeds with omitted, NET-enabling and unclosed
// start tags made often, no "/" or ">" stands alone outside a tag and no
// start tag runs into data. A scan of the output: a start tag is "<",
// upper-case name, attributes (upper-case name "=" value), blanks, and it
// ends with ">", "/" (NET-enabling) or before the next "<" (unclosed);
// data is lower-case letters, blanks and newlines; a "/" in data must end
// one of the NET-enabling start tags of non-EMPTY elements.
TEST_F(Gentest, NoStrayCharactersOverManySeeds) {
  parse(
      "<!DOCTYPE d [\n"
      "<!ELEMENT d O O (s+)>\n"
      "<!ELEMENT s O O (t?, (p | l | e)*)>\n"
      "<!ELEMENT t - O (#PCDATA)>\n"
      "<!ELEMENT p O O (#PCDATA | h | e)*>\n"
      "<!ELEMENT h - - (#PCDATA)>\n"
      "<!ELEMENT l - O (i+)>\n"
      "<!ELEMENT i O O (p)>\n"
      "<!ELEMENT e - O EMPTY>\n"
      "<!ATTLIST e k (x|y) x>\n"
      "]>\n");
  const std::string params = params_file(
      "<OmitStag>1</OmitStag><OmitStagProb>0.5</OmitStagProb><NetTagProb>0.4</NetTagProb>"
      "<UncloseTagProb>0.5</UncloseTagProb><OmitEtagProb>0.5</OmitEtagProb>");
  for (int32_t seed = 1; seed <= 300; ++seed) {
    const std::string out = generate(params, seed);
    long net_open = 0;
    size_t i = 0;
    auto upper = [&](size_t k) { return k < out.size() && out[k] >= 'A' && out[k] <= 'Z'; };
    while (i < out.size()) {
      const char c = out[i];
      if (c == '<' && i + 1 < out.size() && out[i + 1] == '/') {
        const size_t end = out.find('>', i);
        ASSERT_NE(end, std::string::npos);
        i = end + 1;
      } else if (c == '<') {
        size_t k = i + 1;
        ASSERT_TRUE(upper(k)) << "seed " << seed << " at " << i << ": " << out;
        const size_t name_start = k;
        while (upper(k)) ++k;
        const std::string name = out.substr(name_start, k - name_start);
        for (;;) {
          while (k < out.size() && (out[k] == ' ' || out[k] == '\n')) ++k;
          if (!upper(k)) break;
          while (upper(k)) ++k;  // attribute name
          ASSERT_EQ(out[k], '=') << "seed " << seed << " at " << k << ": " << out;
          ++k;
          while (upper(k)) ++k;  // a token of the group
        }
        ASSERT_LT(k, out.size());
        ASSERT_TRUE(out[k] == '>' || out[k] == '/' || out[k] == '<')
            << "seed " << seed << " at " << k << ": " << out;
        if (out[k] == '/' && name != "E") ++net_open;
        i = out[k] == '<' ? k : k + 1;
      } else if (c == '/') {
        ASSERT_GT(net_open, 0) << "seed " << seed << " at " << i << ": " << out;
        --net_open;
        ++i;
      } else {
        ASSERT_TRUE((c >= 'a' && c <= 'c') || c == ' ' || c == '\n')
            << "seed " << seed << " at " << i << ": " << out;
        ++i;
      }
    }
    EXPECT_EQ(net_open, 0) << "seed " << seed;
  }
}

// Recursive models: lists whose items hold lists stop deepening beyond 100
// open elements.
TEST_F(Gentest, RecursiveModelsStayBounded) {
  parse(
      "<!DOCTYPE list [\n"
      "<!ELEMENT list - - (item+)>\n"
      "<!ELEMENT item - - (#PCDATA, note*, list?)>\n"
      "<!ELEMENT note - - (#PCDATA)>\n"
      "]>\n");
  // Always one more list: the chain reaches the bound; lists of up to 5
  // items, each holding a list with chance 0.15: the output stays small.
  const std::string chain = params_file(
      std::string(kAllOff) + "<Orep>4</Orep><Rep>5</Rep>",
      "<Region><Name>LIST</Name><OptProb>1</OptProb></Region>"
      "<Region><Name>ITEM</Name><Rep>1</Rep></Region>");
  const std::string branching = params_file(
      std::string(kAllOff) + "<Orep>4</Orep><Rep>5</Rep>",
      "<Region><Name>LIST</Name><OptProb>0.15</OptProb></Region>");
  for (int v = 0; v < 2; ++v)
  for (int32_t seed = 1; seed <= 10; ++seed) {
    const std::string& params = v == 0 ? chain : branching;
    size_t deepest = 0;
    const std::string out = generate(params, seed);
    EXPECT_LT(out.size(), 1000000u);
    size_t depth = 0;
    for (size_t i = 0; i < out.size(); ++i) {
      if (out[i] != '<') continue;
      if (out[i + 1] == '/') {
        --depth;
      } else {
        ++depth;
        deepest = std::max(deepest, depth);
      }
    }
    EXPECT_EQ(depth, 0u);
    // Open elements 1 to 100 hold anything; the list at 101 gets one item
    // ("+" once), which holds no note and no list.
    if (v == 0) {
      EXPECT_EQ(deepest, 102u);
    }
    EXPECT_LE(deepest, 102u);
  }
}

// Groups above 54 members and parameter files above 1257 Regions.
TEST_F(Gentest, LargeGroupsAndManyRegions) {
  std::string dtd = "<!DOCTYPE r [\n<!ELEMENT r - - ((";
  const int members = 90;  // the raised GRPCNT allows 100
  for (int i = 0; i < members; ++i) dtd += (i ? "|e" : "e") + std::to_string(i);
  dtd += ")+, (";
  for (int i = 0; i < members; ++i) dtd += (i ? ",f" : "f") + std::to_string(i) + "?";
  dtd += "))>\n";
  std::string regions;
  for (int i = 0; i < members; ++i) {
    dtd += "<!ELEMENT e" + std::to_string(i) + " - - (#PCDATA)>\n";
    dtd += "<!ELEMENT f" + std::to_string(i) + " - O EMPTY>\n";
  }
  for (int i = 0; i < 1400; ++i) dtd += "<!ELEMENT z" + std::to_string(i) + " - O EMPTY>\n";
  dtd += "]>\n";
  parse(read_file(VQ_FIXTURES "/sgml/raising.dcl") + dtd);
  ASSERT_EQ(messages_, "");
  for (int i = 0; i < 1400; ++i)
    regions += "<Region><Name>Z" + std::to_string(i) + "</Name></Region>\n";
  // Regions far down the file: F89 always, E89 with data of one letter.
  regions += "<Region><Name>F89</Name><OptProb>1</OptProb></Region>\n";
  regions += "<Region><Name>E89</Name><DataCharStart>q</DataCharStart>"
             "<DataCharRange>1</DataCharRange></Region>\n";
  bool e89 = false;
  for (int32_t seed = 1; seed <= 20; ++seed) {
    const std::string out = generate(params_file("<GrpRep>8</GrpRep>", regions), seed);
    EXPECT_NE(out.find("<F89"), std::string::npos);
    const size_t at = out.find("<E89>");
    if (at != std::string::npos) {
      e89 = true;
      const size_t end = out.find("</E89>", at);
      for (size_t k = at + 5; k < end; ++k) EXPECT_TRUE(out[k] == 'q' || out[k] == ' ' || out[k] == '\n');
    }
  }
  EXPECT_TRUE(e89);
}

}  // namespace
