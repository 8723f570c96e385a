// The test-document generator: random document instances of the document
// type, for testing the parser and the region modes.
//
// gentest writes a parameter file: the seed, the general generation
// parameters with their defaults, and one empty Region per element of the
// DTD. test reads such a file and writes one random instance that follows
// the DTD's content models. Both run after the prolog has been parsed.
//
// The parameter file is tagged text ("<", "/", ">"):
//   <Seed>13</Seed>
//   <Regions>
//       <OmitStag>0</OmitStag> ... the general parameters
//       <Region><Name>P</Name> ... P's own parameters </Region>
//   </Regions>
// A Region starts as a copy of the general parameters and overrides what
// it names. A value that does not read as its type keeps what it had; of
// two Regions with the same Name the first counts; a Region without Name
// is skipped.
//
// What comes out for a seed is fixed by the order in which the random
// numbers are drawn (see gentest_gen.cpp). Generated documents need not be
// valid: exclusion groups are not consulted, #FIXED and #CONREF attributes
// get random values, ENTITY attributes "entity".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "io/vqio.h"
#include "util/util.h"

// The generation parameters, in the order of the file's lines.
struct TestParams {
  int32_t omit_stag = 0;          // an omissible start tag may be left out
  float omit_stag_prob = 0.3f;
  int32_t omit_etag = 1;          // an omissible end tag may be left out
  float omit_etag_prob = 0.3f;
  int32_t net_tag = 1;            // a start tag may be NET-enabling
  float net_tag_prob = 0.1f;
  int32_t unclose_tag = 1;        // a start tag may be left unclosed
  float unclose_tag_prob = 0.1f;
  int32_t orep = 2;               // most instances of an element with "*"
  int32_t rep = 3;                // most instances of an element with "+"
  float opt_prob = 0.4f;          // chance of an element with "?"
  int32_t grp_orep = 2;           // most repetitions of a group with "*"
  int32_t grp_rep = 3;            // most repetitions of a group with "+"
  float grp_opt_prob = 0.3f;      // chance of a group with "?"
  int32_t data_range = 12;        // most items of one piece of data
  int32_t data_char_range = 3;    // distinct data letters
  char data_char_start = 'a';
  int32_t data_eoln = 1;          // data may end with a newline
  float data_eoln_prob = 0.3f;
  int32_t stag_eoln = 1;          // a start tag may follow a newline
  float stag_eoln_prob = 0.3f;
  int32_t att_range = 8;          // attribute values are 1 to this + 1 long
  int32_t att_char_range = 2;     // attribute letters span this + 1
  char att_char_start = 'x';
  int32_t att_num_range = 8;      // numeric values are 1 to this + 1 long
  int32_t att_num_char_range = 2; // numeric characters span this + 1
  char att_num_char_start = '0';
  int32_t id_val = 0;             // kept in the file only
  int32_t open_element = 0;       // kept in the file only
};

// The seed nothing else gives.
enum : int32_t { kTestDefaultSeed = 13 };

// Ids of the parameter file's tag table: Regions, Seed, Region, Name, then
// the 29 parameters in TestParams order.
enum : int32_t {
  kTestTagRegions = 0,
  kTestTagSeed = 1,
  kTestTagRegion = 2,
  kTestTagName = 3,
  kTestTagFirstParam = 4,
  kTestParamCount = 29,
};

// What a parameter file gives a run: the seed, the general parameters and
// the Regions by element name.
struct TestSetup {
  int32_t seed = kTestDefaultSeed;
  TestParams general;
  std::vector<std::unique_ptr<TestParams>> regions;  // by record number
  ShashTable* names = nullptr;  // element name -> record number (decimal)
  TestSetup() = default;
  TestSetup(const TestSetup&) = delete;
  TestSetup& operator=(const TestSetup&) = delete;
  ~TestSetup();
  // The parameters of an element (its Region, else the general ones).
  const TestParams* lookup(const char* name) const;
};

// Writes the default parameter file for the parsed DTD.
void gentest_mode(VqStream* out);

// Fills setup from the parameter file: a -S value above 0 sets the seed
// first, a Seed in the file replaces it. A file that does not open leaves
// the defaults; one the tagged-text reader refuses gives "error parse mad"
// on standard error and the defaults.
void test_params_read(const std::string& file, int32_t seed_option, TestSetup* setup);

// Writes one random instance of the document type on out.
void test_mode(const std::string& file, int32_t seed_option, VqStream* out);

// The modes as the dispatcher runs them (standard output; test mode with
// the -D name and the -S seed).
void gentest_mode_run();
void test_mode_run();

// The -S value of a test run: the seed. The dispatcher keeps it here and
// reads the document from its start, since in test mode -S is no byte
// offset.
extern int32_t test_seed_option;
