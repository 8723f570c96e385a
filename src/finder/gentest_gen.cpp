// The test generator proper: one random instance of the document type,
// walked from the content models of the parser's element table.
//
// The output for a seed is fixed by the order of the draws, so the steps
// draw exactly as follows. Each random_int and random_chance takes one
// deviate. A condition's random_chance is drawn only when the conditions
// written before it in the same step hold (left to right): no draw for the
// newline before a start tag inside mixed content or with StagEoln 0, none
// for leaving a tag out unless the Omit switch is on and the declaration
// allows it. The unclosed and NET draws of a start tag are made whether or
// not the tag was written.
//
// Markup stays well formed: an omitted start tag keeps neither its
// unclosed nor its NET flag (the draws are still made), so no lone "/" or
// ">" is written; an unclosed start tag counts as closed once another tag
// follows it, and is closed with ">" by whatever else comes first (data,
// or the end of its element when no end tag is written), so data never
// runs into a tag name.
//
// Generated tags nest as the parser reads them: an element that the
// exclusion group of an open element names is not generated (no draw is
// made for it), since its start tag would end the open elements down to a
// level that allows it, and the end tags written later would name elements
// no longer open.
//
// Recursive content models are bounded: beyond kSoftDepth open elements
// "?" and "*" members and groups get no instance (no draw is made) and
// "+" ones exactly one; content that must nest deeper still is cut when
// kHardDepth elements are open: the open elements are ended as usual and
// the run ends with 220017.
#include <cstring>
#include <string>
#include <unordered_map>

#include "finder/dtdreport_internal.h"
#include "finder/finder.h"
#include "finder/gentest.h"
#include "sgml/entities/attlist.h"
#include "sgml/decl/prolog.h"
#include "sgml/entities/tables.h"
#include "sgml/parser_state.h"

namespace {

constexpr int kSoftDepth = 100;
constexpr int kHardDepth = 200;
constexpr size_t kFlushAt = 1 << 16;

// The tag state of one element instance.
struct TagState {
  bool unclosed = false;  // its start tag still waits for its ">"
  bool net = false;       // its start tag was NET-enabling: "/" ends it
};

struct Generator {
  const TestSetup* setup;
  VqStream* stream;
  int32_t seed;
  const TestParams* active;
  int32_t id_counter = 0;
  bool mixed = false;            // the current mixed flag
  TagState* waiting = nullptr;   // the unclosed start tag nothing has followed
  int open = 0;                  // open elements
  bool cut = false;              // content had to be cut at kHardDepth
  std::string out;
  std::unordered_map<const ElementTypeDef*, const TestParams*> params_of;
  std::unordered_map<const ContentModel*, bool> mixed_of;
  // Per element type, the open elements whose exclusion group names it.
  std::unordered_map<const ElementTypeDef*, int> excluded_by;

  bool excluded(const ElementTypeDef* etd) const {
    if (!etd->in_exceptions) return false;
    auto found = excluded_by.find(etd);
    return found != excluded_by.end() && found->second > 0;
  }
  void exclude(const ElementTypeDef* etd, int step) {
    if (etd->minus == nullptr) return;
    for (ElementTypeDef** x = etd->minus; *x != nullptr; ++x) excluded_by[*x] += step;
  }

  void put(char c) { out.push_back(c); }
  void put(const char* s) { out.append(s); }
  void flush() {
    if (!out.empty()) vqio_fwrite(out.data(), 1, out.size(), stream);
    out.clear();
  }
  void maybe_flush() {
    if (out.size() >= kFlushAt) flush();
  }

  // 0 to n: the truncated product of one deviate and n + 1 (n is taken
  // wide, so "Rep minus 1" of any file value is no overflow).
  int32_t random_int(int64_t n) {
    return static_cast<int32_t>(rand_uniform(&seed) * (static_cast<double>(n) + 1.0));
  }
  bool random_chance(float p) { return rand_uniform(&seed) <= static_cast<double>(p); }

  const TestParams* params(const ElementTypeDef* etd) {
    auto found = params_of.find(etd);
    if (found != params_of.end()) return found->second;
    const TestParams* p = setup->lookup(name_chars(etd->name));
    params_of.emplace(etd, p);
    return p;
  }

  // How often a token with these occurrence bits occurs: "*" up to
  // `most_any`, "+" 1 to `most_plus`, "?" with chance `opt`, else once.
  int32_t occurrences(uint8_t flags, int32_t most_any, int32_t most_plus, float opt) {
    const bool is_opt = (flags & MODEL_DECLARED_OPT) != 0;
    const bool is_rep = (flags & MODEL_DECLARED_REP) != 0;
    const bool capped = open > kSoftDepth;
    if (is_opt && is_rep) return capped ? 0 : random_int(most_any);
    if (is_rep) return capped ? 1 : random_int(int64_t{most_plus} - 1) + 1;
    if (is_opt) return capped ? 0 : (random_chance(opt) ? 1 : 0);
    return 1;
  }

  // The tag that waited for its ">" is followed by another tag.
  void tag_follows() {
    if (waiting != nullptr) waiting->unclosed = false;
    waiting = nullptr;
  }
  // Something other than a tag follows: the waiting tag gets its ">".
  void close_waiting() {
    if (waiting == nullptr) return;
    put('>');
    tag_follows();
  }

  void group(const ContentModel* g, const TestParams* owner_params, bool inherited_mixed);
  void element(const ElementTypeDef* etd, uint8_t flags);
  bool start_tag(const ElementTypeDef* etd, TagState* state);
  void attributes(const AttributeList* list);
  void letters(int32_t range, int32_t char_range, char start);
  void data();
  void end_tag(const ElementTypeDef* etd, TagState* state, bool written);
  bool group_mixed(const ContentModel* g);
};

// Whether a group holds #PCDATA itself or in a nested group at any depth;
// with elements, also when one of its own element members has a model
// group that does (looked at without going further into elements).
bool holds_data(const ContentModel* g, bool elements) {
  const ContentModel* t = g + 1;
  for (uint32_t m = 0; m < g->count; ++m) {
    const int type = model_type(t);
    if (type == MODEL_PCDATA) return true;
    if (model_is_group(t)) {
      if (holds_data(t, false)) return true;
    } else if (elements && type == MODEL_ELEMENT && t->etd != nullptr &&
               has_model_group(t->etd->model) && holds_data(t->etd->model + 1, false)) {
      return true;
    }
    t += model_token_size(t);
  }
  return false;
}

bool Generator::group_mixed(const ContentModel* g) {
  auto found = mixed_of.find(g);
  if (found != mixed_of.end()) return found->second;
  const bool m = holds_data(g, true);
  mixed_of.emplace(g, m);
  return m;
}

// A group of the content model whose element's parameters are
// owner_params; data in it closes the owner's start tag if that still waits.
void Generator::group(const ContentModel* g, const TestParams* owner_params,
                      bool inherited_mixed) {
  const int32_t reps =
      occurrences(g->flags, active->grp_orep, active->grp_rep, active->grp_opt_prob);
  const bool group_is_mixed = inherited_mixed || group_mixed(g);
  const ContentModel* first = g + 1;
  for (int32_t r = 0; r < reps && !cut; ++r) {
    uint32_t from = 0;
    uint32_t to = g->count;
    if (model_type(g) == MODEL_OR && g->count > 0) {
      from = static_cast<uint32_t>(random_int(static_cast<int32_t>(g->count) - 1));
      to = from + 1;
    }
    const ContentModel* t = first;
    for (uint32_t m = 0; m < from; ++m) t += model_token_size(t);
    for (uint32_t m = from; m < to && !cut; ++m) {
      mixed = group_is_mixed;
      const int type = model_type(t);
      if (type == MODEL_ELEMENT) {
        if (t->etd != nullptr) element(t->etd, t->flags);
        active = owner_params;
      } else if (type == MODEL_PCDATA) {
        data();
      } else if (model_is_group(t)) {
        group(t, owner_params, group_is_mixed);
      }
      t += model_token_size(t);
    }
  }
}

void Generator::element(const ElementTypeDef* etd, uint8_t flags) {
  if (excluded(etd)) return;
  active = params(etd);
  const TestParams* own = active;
  const int32_t n = occurrences(flags, own->orep, own->rep, own->opt_prob);
  for (int32_t i = 0; i < n && !cut; ++i) {
    if (open >= kHardDepth) {
      cut = true;
      return;
    }
    ++open;
    TagState state;
    const bool written = start_tag(etd, &state);
    exclude(etd, 1);
    const ContentModel* model = etd->model;
    bool empty = false;
    if (has_model_group(model)) {
      group(model + 1, own, false);
    } else if (model == nullptr || (model->flags & CONTENT_EMPTY) != 0) {
      empty = true;
    } else {
      data();
    }
    exclude(etd, -1);
    if (empty) {
      if (waiting == &state) close_waiting();
    } else {
      end_tag(etd, &state, written);
    }
    --open;
    maybe_flush();
  }
}

bool Generator::start_tag(const ElementTypeDef* etd, TagState* state) {
  const TestParams& p = *active;
  if (!mixed && p.stag_eoln != 0 && random_chance(p.stag_eoln_prob)) put('\n');
  bool written = true;
  if (p.omit_stag != 0 && (etd->flags & ETD_START_OMIT) != 0 &&
      random_chance(p.omit_stag_prob)) {
    written = false;
  } else {
    tag_follows();
    put('<');
    put(name_chars(etd->name));
  }
  const AttributeList* list = etd->attributes;
  if (written && list != nullptr && list[0].count > 0) {
    put(' ');
    attributes(list);
  }
  // Drawn whether or not the tag was written.
  if (p.unclose_tag != 0) state->unclosed = random_chance(p.unclose_tag_prob);
  if (p.net_tag != 0) state->net = random_chance(p.net_tag_prob);
  if (!written) {
    state->unclosed = false;
    state->net = false;
  } else if (state->unclosed) {
    state->net = false;
    waiting = state;
  } else {
    put(state->net ? '/' : '>');
  }
  return written;
}

void Generator::letters(int32_t range, int32_t char_range, char start) {
  const int32_t length = random_int(range) + 1;
  for (int32_t k = 0; k < length; ++k)
    put(static_cast<char>(start + random_int(char_range)));
}

void Generator::attributes(const AttributeList* list) {
  const TestParams& p = *active;
  const int32_t n = list[0].count;
  for (int32_t i = 1; i <= n; ++i) {
    const AttributeList& a = list[i];
    if (i > 1) put(' ');
    put(name_chars(a.name));
    put('=');
    if ((a.flags & ATT_GROUP) != 0) {
      const int32_t k = random_int(a.count - 1);
      if (k >= 0 && k < a.count && i + 1 + k <= n) put(name_chars(list[i + 1 + k].name));
      i += a.count;
      continue;
    }
    put('"');
    switch (a.declared) {
      case DV_NOTATION:
        put("notation");
        break;
      case DV_ENTITY:
      case DV_ENTITIES:
        put("entity");
        break;
      case DV_ID:
        put("id");
        put(std::to_string(id_counter++).c_str());
        break;
      case DV_IDREF:
      case DV_IDREFS:
        put("id");
        put(std::to_string(id_counter > 0 ? id_counter - 1 : 0).c_str());
        break;
      case DV_NUMBER:
      case DV_NUTOKEN:
      case DV_NUMBERS:
      case DV_NUTOKENS:
        letters(p.att_num_range, p.att_num_char_range, p.att_num_char_start);
        break;
      default:
        letters(p.att_range, p.att_char_range, p.att_char_start);
        break;
    }
    put('"');
  }
}

void Generator::data() {
  close_waiting();
  const TestParams& p = *active;
  const int32_t items = random_int(p.data_range);
  bool blank = false;
  for (int32_t k = 0; k < items; ++k) {
    const int32_t r = random_int(p.data_char_range);
    if (r > 0) {
      put(static_cast<char>(p.data_char_start + r - 1));
      blank = false;
    } else if (!blank) {
      put(' ');
      blank = true;
    }
  }
  if (p.data_eoln != 0 && random_chance(p.data_eoln_prob)) put('\n');
}

void Generator::end_tag(const ElementTypeDef* etd, TagState* state, bool written) {
  const TestParams& p = *active;
  if (state->net) {
    state->net = false;
    put('/');
    return;
  }
  if (p.omit_etag != 0 && (etd->flags & ETD_END_OMIT) != 0 &&
      random_chance(p.omit_etag_prob)) {
    written = false;
  }
  if (written) {
    tag_follows();
    put("</");
    put(name_chars(etd->name));
    put('>');
  } else if (waiting == state) {
    close_waiting();
  }
}

}  // namespace

void test_mode(const std::string& file, int32_t seed_option, VqStream* out) {
  TestSetup setup;
  if (seed_option > 0) setup.seed = seed_option;
  const ElementTypeDef* doc = declared_element(kDocPseudoName);
  if (doc == nullptr) return;
  test_params_read(file, seed_option, &setup);
  Generator g;
  g.setup = &setup;
  g.stream = out;
  g.seed = setup.seed;
  g.active = &setup.general;
  const ContentModel* model = doc->model;
  if (has_model_group(model)) {
    const ContentModel* outer = model + 1;
    // The document element's parameters govern the outer group's draws.
    if (outer->count > 0 && model_type(outer + 1) == MODEL_ELEMENT && (outer + 1)->etd != nullptr)
      g.active = g.params((outer + 1)->etd);
    g.group(outer, g.params(doc), false);
  }
  g.put('\n');
  g.flush();
  vqio_fflush(out);
  if (g.cut) vq_report(9, GetMsgNumText(220017), kHardDepth);
}
