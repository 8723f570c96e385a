// The test generator's parameter file: the file gentest writes for a small
// DTD, written out here by hand, and the reading of parameter files (seed
// rule, general and per-element parameters, bad values, bad files, many
// Regions).
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "dtd_support.h"
#include "finder/gentest.h"
#include "sgml/parser_state.h"

namespace {

class GentestParams : public DtdFixture {
 protected:
  // Reads text as a parameter file with the -S value; what the reader
  // wrote on standard error is in stderr_.
  void read(const std::string& text, int32_t seed_option) {
    const std::string file = path("p.mad");
    write_file(file, text);
    read_file_named(file, seed_option);
  }
  void read_file_named(const std::string& file, int32_t seed_option) {
    setup_ = std::make_unique<TestSetup>();
    stderr_ = stderr_of(dir_, [&] { test_params_read(file, seed_option, setup_.get()); });
  }
  std::unique_ptr<TestSetup> setup_;
  std::string stderr_;
};

const char kDefaultParams[] =
    "    <OmitStag>0</OmitStag>\n"
    "    <OmitStagProb>0.30</OmitStagProb>\n"
    "    <OmitEtag>1</OmitEtag>\n"
    "    <OmitEtagProb>0.30</OmitEtagProb>\n"
    "    <NetTag>1</NetTag>\n"
    "    <NetTagProb>0.10</NetTagProb>\n"
    "    <UncloseTag>1</UncloseTag>\n"
    "    <UncloseTagProb>0.10</UncloseTagProb>\n"
    "    <Orep>2</Orep>\n"
    "    <Rep>3</Rep>\n"
    "    <OptProb>0.40</OptProb>\n"
    "    <GrpOrep>2</GrpOrep>\n"
    "    <GrpRep>3</GrpRep>\n"
    "    <GrpOptProb>0.30</GrpOptProb>\n"
    "    <DataRange>12</DataRange>\n"
    "    <DataCharRange>3</DataCharRange>\n"
    "    <DataCharStart>a</DataCharStart>\n"
    "    <DataEoln>1</DataEoln>\n"
    "    <DataEolnProb>0.30</DataEolnProb>\n"
    "    <StagEoln>1</StagEoln>\n"
    "    <StagEolnProb>0.30</StagEolnProb>\n"
    "    <AttRange>8</AttRange>\n"
    "    <AttCharRange>2</AttCharRange>\n"
    "    <AttCharStart>x</AttCharStart>\n"
    "    <AttNumRange>8</AttNumRange>\n"
    "    <AttNumCharRange>2</AttNumCharRange>\n"
    "    <AttNumCharStart>0</AttNumCharStart>\n"
    "    <IDVal>0</IDVal>\n"
    "    <OpenElement>0</OpenElement>\n";

TEST_F(GentestParams, GentestWritesSeedDefaultsAndOneRegionPerElementByName) {
  parse(
      "<!DOCTYPE memo [\n"
      "<!ELEMENT memo - - (to, body)>\n"
      "<!ELEMENT to - O (#PCDATA)>\n"
      "<!ELEMENT body - - (p+)>\n"
      "<!ELEMENT p - O (#PCDATA)>\n"
      "]>\n<memo></memo>\n");
  const std::string out = output([] { gentest_mode(vqio_stdout); });
  const std::string want = std::string("<Seed>13</Seed>\n<Regions>\n") + kDefaultParams +
                           "\n"
                           "    <Region><Name>BODY</Name>\n    </Region>\n"
                           "    <Region><Name>MEMO</Name>\n    </Region>\n"
                           "    <Region><Name>P</Name>\n    </Region>\n"
                           "    <Region><Name>TO</Name>\n    </Region>\n"
                           "</Regions>\n";
  EXPECT_EQ(out, want);
}

TEST_F(GentestParams, WrittenFileReadsBackAsTheDefaults) {
  parse("<!DOCTYPE a [<!ELEMENT a - - (#PCDATA)>]><a></a>");
  const std::string text = output([] { gentest_mode(vqio_stdout); });
  read(text, 0);
  EXPECT_EQ(stderr_, "");
  EXPECT_EQ(setup_->seed, 13);
  const TestParams defaults;
  const TestParams* a = setup_->lookup("A");
  ASSERT_NE(a, &setup_->general);
  for (const TestParams* p : {static_cast<const TestParams*>(&setup_->general), a}) {
    EXPECT_EQ(p->omit_etag, defaults.omit_etag);
    EXPECT_FLOAT_EQ(p->omit_stag_prob, 0.3f);
    EXPECT_EQ(p->data_char_start, 'a');
    EXPECT_EQ(p->att_num_char_start, '0');
    EXPECT_EQ(p->data_range, 12);
  }
}

// The seed: -S above 0 first, a Seed in the file over it, else 13.
TEST_F(GentestParams, SeedRule) {
  struct Case {
    const char* text;  // null: no file
    int32_t option;
    int32_t want;
  } cases[] = {
      {"<Seed>7</Seed>\n<Regions>\n</Regions>\n", 99, 7},
      {"<Regions>\n</Regions>\n", 99, 99},
      {"<Regions>\n</Regions>\n", 0, 13},
      {"<Seed>7</Seed>\n", 0, 7},
      {nullptr, 99, 99},
      {nullptr, 0, 13},
      {"<Regions>\n</Regions>\n", -5, 13},
      {"<Seed>x</Seed>\n", 42, 42},  // text where the number belongs
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text != nullptr ? c.text : "(no file)");
    if (c.text != nullptr)
      read(c.text, c.option);
    else
      read_file_named(path("missing.mad"), c.option);
    EXPECT_EQ(setup_->seed, c.want);
    EXPECT_EQ(stderr_, "");
  }
}

TEST_F(GentestParams, GeneralParametersAndRegionsOverTheGeneralOnes) {
  read(
      "<Seed>5</Seed>\n<Regions>\n"
      "  <Orep>7</Orep><OptProb>0.75</OptProb><DataCharStart>pq</DataCharStart>\n"
      "  <Rep>many</Rep><GrpOptProb>.5x</GrpOptProb><AttRange></AttRange>\n"
      "  <Region><Name>P</Name><Orep>0</Orep><AttCharStart>k</AttCharStart></Region>\n"
      "  <Region><Orep>9</Orep></Region>\n"
      "  <Region><Name>P</Name><Orep>4</Orep></Region>\n"
      "  <Region><Name>Q</Name><Rep>x1</Rep><NetTagProb>1</NetTagProb></Region>\n"
      "</Regions>\n",
      0);
  EXPECT_EQ(stderr_, "");
  const TestParams& g = setup_->general;
  EXPECT_EQ(g.orep, 7);
  EXPECT_FLOAT_EQ(g.opt_prob, 0.75f);
  EXPECT_EQ(g.data_char_start, 'p');  // the first character
  EXPECT_EQ(g.rep, 3);                // not a number: the default stays
  EXPECT_FLOAT_EQ(g.grp_opt_prob, 0.5f);
  EXPECT_EQ(g.att_range, 8);  // empty
  // The first Region named P counts; it starts from the general values.
  const TestParams* p = setup_->lookup("P");
  EXPECT_EQ(p->orep, 0);
  EXPECT_EQ(p->att_char_start, 'k');
  EXPECT_FLOAT_EQ(p->opt_prob, 0.75f);
  const TestParams* q = setup_->lookup("Q");
  EXPECT_EQ(q->rep, 3);
  EXPECT_FLOAT_EQ(q->net_tag_prob, 1.0f);
  EXPECT_EQ(q->orep, 7);
  // Names are compared as written; other names get the general values.
  EXPECT_EQ(setup_->lookup("p"), &g);
  EXPECT_EQ(setup_->lookup("R"), &g);
  EXPECT_EQ(setup_->regions.size(), 2u);
}

TEST_F(GentestParams, MalformedFileSaysSoAndKeepsTheDefaults) {
  read("<Seed>7</Seed>\n<Regions>\n<Orep>5</Regions>\n", 3);
  EXPECT_NE(stderr_.find("error parse mad\n"), std::string::npos) << stderr_;
  EXPECT_EQ(setup_->seed, 3);
  EXPECT_EQ(setup_->general.orep, 2);
}

// More Regions than the name table's first room, each found.
TEST_F(GentestParams, ManyRegionsAreAllEntered) {
  std::string text = "<Regions>\n";
  const int n = 3000;
  for (int i = 0; i < n; ++i)
    text += "<Region><Name>E" + std::to_string(i) + "</Name><Orep>" + std::to_string(i) +
            "</Orep></Region>\n";
  text += "</Regions>\n";
  read(text, 0);
  EXPECT_EQ(stderr_, "");
  ASSERT_EQ(setup_->regions.size(), static_cast<size_t>(n));
  for (int i = 0; i < n; ++i)
    ASSERT_EQ(setup_->lookup(("E" + std::to_string(i)).c_str())->orep, i) << i;
}

}  // namespace
