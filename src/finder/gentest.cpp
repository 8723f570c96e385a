// The test generator's parameter file: the table of its 29 parameters, the
// file that gentest writes, and the reading of a file for a test run.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <string>

#include "finder/dtdreport_internal.h"
#include "finder/finder.h"
#include "finder/gentest.h"
#include "madat/madat.h"
#include "madio/madio.h"

int32_t test_seed_option = 0;

namespace {

enum ParamKind { kParamInt, kParamProb, kParamChar };

struct ParamRow {
  const char* tag;
  ParamKind kind;
  size_t offset;  // in TestParams
};

#define PARAM(tag, kind, field) {tag, kind, offsetof(TestParams, field)}
// Table order is the order of the file's lines and of the tag ids (4 on).
const ParamRow kParams[kTestParamCount] = {
    PARAM("OmitStag", kParamInt, omit_stag),
    PARAM("OmitStagProb", kParamProb, omit_stag_prob),
    PARAM("OmitEtag", kParamInt, omit_etag),
    PARAM("OmitEtagProb", kParamProb, omit_etag_prob),
    PARAM("NetTag", kParamInt, net_tag),
    PARAM("NetTagProb", kParamProb, net_tag_prob),
    PARAM("UncloseTag", kParamInt, unclose_tag),
    PARAM("UncloseTagProb", kParamProb, unclose_tag_prob),
    PARAM("Orep", kParamInt, orep),
    PARAM("Rep", kParamInt, rep),
    PARAM("OptProb", kParamProb, opt_prob),
    PARAM("GrpOrep", kParamInt, grp_orep),
    PARAM("GrpRep", kParamInt, grp_rep),
    PARAM("GrpOptProb", kParamProb, grp_opt_prob),
    PARAM("DataRange", kParamInt, data_range),
    PARAM("DataCharRange", kParamInt, data_char_range),
    PARAM("DataCharStart", kParamChar, data_char_start),
    PARAM("DataEoln", kParamInt, data_eoln),
    PARAM("DataEolnProb", kParamProb, data_eoln_prob),
    PARAM("StagEoln", kParamInt, stag_eoln),
    PARAM("StagEolnProb", kParamProb, stag_eoln_prob),
    PARAM("AttRange", kParamInt, att_range),
    PARAM("AttCharRange", kParamInt, att_char_range),
    PARAM("AttCharStart", kParamChar, att_char_start),
    PARAM("AttNumRange", kParamInt, att_num_range),
    PARAM("AttNumCharRange", kParamInt, att_num_char_range),
    PARAM("AttNumCharStart", kParamChar, att_num_char_start),
    PARAM("IDVal", kParamInt, id_val),
    PARAM("OpenElement", kParamInt, open_element),
};
#undef PARAM

// The tag table of the parameter file.
const DdTagInfo kTestTags[] = {
    {kTestTagRegions, "Regions", DD_FLAG_SECTION},
    {kTestTagSeed, "Seed", DD_FLAG_SECTION},
    {kTestTagRegion, "Region", 0},
    {kTestTagName, "Name", 0},
    {4, "OmitStag", 0},         {5, "OmitStagProb", 0},     {6, "OmitEtag", 0},
    {7, "OmitEtagProb", 0},     {8, "NetTag", 0},           {9, "NetTagProb", 0},
    {10, "UncloseTag", 0},      {11, "UncloseTagProb", 0},  {12, "Orep", 0},
    {13, "Rep", 0},             {14, "OptProb", 0},         {15, "GrpOrep", 0},
    {16, "GrpRep", 0},          {17, "GrpOptProb", 0},      {18, "DataRange", 0},
    {19, "DataCharRange", 0},   {20, "DataCharStart", 0},   {21, "DataEoln", 0},
    {22, "DataEolnProb", 0},    {23, "StagEoln", 0},        {24, "StagEolnProb", 0},
    {25, "AttRange", 0},        {26, "AttCharRange", 0},    {27, "AttCharStart", 0},
    {28, "AttNumRange", 0},     {29, "AttNumCharRange", 0}, {30, "AttNumCharStart", 0},
    {31, "IDVal", 0},           {32, "OpenElement", 0},     {-1, nullptr, 0},
};

// The room of the name table when the file has few Regions; more Regions
// get a larger table, so every named Region is entered.
constexpr int32_t kNameTableSlots = 1257;

const char kIndent[] = "    ";

template <typename T>
T& field(TestParams* p, const ParamRow& row) {
  return *reinterpret_cast<T*>(reinterpret_cast<char*>(p) + row.offset);
}
template <typename T>
const T& field(const TestParams* p, const ParamRow& row) {
  return *reinterpret_cast<const T*>(reinterpret_cast<const char*>(p) + row.offset);
}

// A decimal integer at the start of text (blanks before it allowed); false
// when there is none or it does not fit 32 bits.
bool read_int(const char* text, int32_t* value) {
  if (text == nullptr) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (end == text || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return false;
  *value = static_cast<int32_t>(v);
  return true;
}

bool read_prob(const char* text, float* value) {
  if (text == nullptr) return false;
  char* end = nullptr;
  const float v = std::strtof(text, &end);
  if (end == text) return false;
  *value = v;
  return true;
}

// The parameter tags directly under node override p.
void read_params(const MadNode* node, TestParams* p) {
  for (int i = 0; i < kTestParamCount; ++i) {
    const MadNode* tag = madatgc(node, kTestTagFirstParam + i);
    if (tag == nullptr || tag->child != nullptr) continue;
    const char* value = tag->value;
    const ParamRow& row = kParams[i];
    switch (row.kind) {
      case kParamInt:
        read_int(value, &field<int32_t>(p, row));
        break;
      case kParamProb:
        read_prob(value, &field<float>(p, row));
        break;
      case kParamChar:
        if (value != nullptr && value[0] != '\0') field<char>(p, row) = value[0];
        break;
    }
  }
}

const char* leaf_value(const MadNode* tag) {
  return tag != nullptr && tag->child == nullptr ? tag->value : nullptr;
}

void read_tree(const MadNode* root, TestSetup* setup) {
  read_int(leaf_value(madatgc(root, kTestTagSeed)), &setup->seed);
  const MadNode* regions = madatgc(root, kTestTagRegions);
  if (regions == nullptr) return;
  read_params(regions, &setup->general);
  int32_t named = 0;
  for (const MadNode* r = madatgc(regions, kTestTagRegion); r != nullptr;
       r = madatns(r, kTestTagRegion))
    ++named;
  shash_free(setup->names);
  setup->names = shash_create(std::max(kNameTableSlots, shash_size_for(named)));
  if (setup->names == nullptr) vq_report(14, "%s: no memory for the Region names", "test");
  for (const MadNode* r = madatgc(regions, kTestTagRegion); r != nullptr;
       r = madatns(r, kTestTagRegion)) {
    const char* name = leaf_value(madatgc(r, kTestTagName));
    if (name == nullptr) continue;
    const std::string number = std::to_string(setup->regions.size());
    // The first Region of a name is the one found; a later one is dropped.
    if (shash_insert(setup->names, name, number.c_str()) != 1) continue;
    auto params = std::make_unique<TestParams>(setup->general);
    read_params(r, params.get());
    setup->regions.push_back(std::move(params));
  }
}

}  // namespace

TestSetup::~TestSetup() { shash_free(names); }

const TestParams* TestSetup::lookup(const char* name) const {
  const char* number = names != nullptr ? shash_lookup(names, name) : nullptr;
  if (number == nullptr) return &general;
  return regions[static_cast<size_t>(std::atol(number))].get();
}

void gentest_mode(VqStream* out) {
  const TestParams defaults;
  vqio_fprintf(out, "<%s>", "Seed");
  vqio_fprintf(out, "%d</%s>\n", static_cast<int>(kTestDefaultSeed), "Seed");
  vqio_fprintf(out, "<%s>\n", "Regions");
  for (const ParamRow& row : kParams) {
    switch (row.kind) {
      case kParamInt:
        vqio_fprintf(out, "%s<%s>%d</%s>\n", kIndent, row.tag,
                     static_cast<int>(field<int32_t>(&defaults, row)), row.tag);
        break;
      case kParamProb:
        vqio_fprintf(out, "%s<%s>%.2f</%s>\n", kIndent, row.tag,
                     static_cast<double>(field<float>(&defaults, row)), row.tag);
        break;
      case kParamChar:
        vqio_fprintf(out, "%s<%s>%c</%s>\n", kIndent, row.tag, field<char>(&defaults, row),
                     row.tag);
        break;
    }
  }
  vqio_fputs("\n", out);
  for (const char* name : listed_elements()) {
    vqio_fprintf(out, "%s<%s>", kIndent, "Region");
    vqio_fprintf(out, "<%s>", "Name");
    vqio_fputs(name, out);
    vqio_fprintf(out, "</%s>\n", "Name");
    vqio_fprintf(out, "%s</%s>\n", kIndent, "Region");
  }
  vqio_fprintf(out, "</%s>\n", "Regions");
}

void test_params_read(const std::string& file, int32_t seed_option, TestSetup* setup) {
  if (seed_option > 0) setup->seed = seed_option;
  VqStream* in = vqio_fopen(file.c_str(), "r");
  if (in == nullptr) return;
  MadStream* stream = madioss(in, nullptr, nullptr, nullptr, kTestTags, &SinsiAngleDelimiters,
                              nullptr);
  MadNode* root = stream != nullptr ? madiopa(stream, 1) : nullptr;
  if (stream != nullptr) madiocl(stream);
  vqio_fclose(in);
  if (root == nullptr) {
    error_printf("error parse mad\n");
    return;
  }
  read_tree(root, setup);
  madmtfr(root);
}

void gentest_mode_run() { gentest_mode(vqio_stdout); }

void test_mode_run() { test_mode(mode_options->dd_name, test_seed_option, vqio_stdout); }
