// The element list and the element levels of the DTD reports, the name
// lookups they share, and the test whether an element is declared.
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "finder/dtdreport.h"
#include "finder/dtdreport_internal.h"
#include "msg/msg.h"
#include "sgml/decl/prolog.h"
#include "sgml/parser_state.h"

namespace {

// Element names are counted names of at most 253 characters.
constexpr size_t kCountedMax = 258;

// The element types of the table in walk order (buckets 0 to 210, each
// chain from its head); false after 220015 when there are more than
// capacity of them.
bool table_walk(int capacity, std::vector<ElementTypeDef*>* out) {
  out->clear();
  for (HashRecord* head : sgml_tables.elements)
    for (HashRecord* r = head; r != nullptr; r = r->next)
      out->push_back(reinterpret_cast<ElementTypeDef*>(r));
  if (static_cast<long>(out->size()) > capacity) {
    vq_report(2, GetMsgNumText(220015), capacity);
    out->clear();
    return false;
  }
  return true;
}

ElementTypeDef* find_counted(const unsigned char* counted, const char* shown) {
  ElementTypeDef* etd = etd_find(counted);
  if (etd == nullptr || etd->model == nullptr) {
    vq_report(2, GetMsgNumText(220016), shown);
    return nullptr;
  }
  return etd;
}

// The names an element leads to: its model's element tokens, then its
// inclusions, then its exclusions. Declared content leads nowhere, and its
// exception groups are not read.
void related_elements(const ElementTypeDef* etd, std::vector<const ElementTypeDef*>* out) {
  out->clear();
  if (!has_model_group(etd->model)) return;
  model_elements(etd->model, out);
  for (ElementTypeDef* const* g : {etd->plus, etd->minus})
    for (; g != nullptr && *g != nullptr; ++g) out->push_back(*g);
}

struct LevelWalk {
  std::unordered_map<const ElementTypeDef*, int> index;  // table position
  std::vector<int32_t> depth;                             // by table position

  // Depth first: an element keeps the depth of the first path that reaches
  // it. The recursion is at most as deep as the table is long.
  void visit(const ElementTypeDef* etd, int32_t d) {
    auto found = index.find(etd);
    if (found == index.end() || depth[found->second] != -1) return;
    depth[found->second] = d;
    if (etd->model == nullptr) {
      vq_report(2, GetMsgNumText(220016), name_chars(etd->name));
      return;
    }
    std::vector<const ElementTypeDef*> related;
    related_elements(etd, &related);
    for (const ElementTypeDef* r : related) visit(r, d + 1);
  }
};

}  // namespace

bool is_doc_pseudo(const char* name) { return std::strcmp(name, kDocPseudoName) == 0; }

ElementTypeDef* declared_element(const char* stored_name) {
  const size_t n = std::strlen(stored_name);
  if (n + 2 >= kCountedMax) {
    vq_report(2, GetMsgNumText(220016), stored_name);
    return nullptr;
  }
  unsigned char counted[kCountedMax];
  counted[0] = static_cast<unsigned char>(n + 2);
  std::memcpy(counted + 1, stored_name, n + 1);
  return find_counted(counted, stored_name);
}

ElementTypeDef* declared_element_folded(const char* name) {
  // make_counted_name keeps at most NAMELEN characters, which fits a
  // counted name (its length byte counts up to 255).
  unsigned char counted[kCountedMax];
  make_counted_name(name, counted, 1);
  return find_counted(counted, name);
}

void model_elements(const ContentModel* model, std::vector<const ElementTypeDef*>* out) {
  if (!has_model_group(model)) return;
  for (uint32_t t = 1; t <= model->count; ++t)
    if (model_type(&model[t]) == MODEL_ELEMENT && model[t].etd != nullptr)
      out->push_back(model[t].etd);
}

void list_element_pairs(int capacity, int* count, SortStrPair* pairs) {
  *count = 0;
  std::vector<ElementTypeDef*> all;
  if (!table_walk(capacity, &all)) return;
  int n = 0;
  for (ElementTypeDef* etd : all) {
    pairs[n].word = static_cast<int32_t>(hash_name(etd->name, ETD_BUCKETS));
    pairs[n].string = reinterpret_cast<char*>(etd->name + 1);
    ++n;
  }
  qsort_by_string(pairs, 0, n - 1);
  *count = n;
}

void element_levels(int capacity, int* count, const char** names, int32_t* depths) {
  *count = 0;
  std::vector<ElementTypeDef*> all;
  if (!table_walk(capacity, &all)) return;
  const int n = static_cast<int>(all.size());
  LevelWalk walk;
  walk.depth.assign(all.size(), -1);
  walk.index.reserve(all.size());
  for (int i = 0; i < n; ++i) walk.index.emplace(all[i], i);
  static const unsigned char kDocCounted[] = "\006*DOC";
  if (const ElementTypeDef* doc = etd_find(kDocCounted)) walk.visit(doc, 0);
  std::vector<SortIntPair> order(all.size());
  for (int i = 0; i < n; ++i) order[i] = SortIntPair{i, walk.depth[i]};
  qsort_by_int(order.data(), 0, n - 1);
  for (int i = 0; i < n; ++i) {
    names[i] = name_chars(all[order[i].first]->name);
    depths[i] = order[i].key;
  }
  *count = n;
}

std::vector<const char*> listed_elements() {
  std::vector<SortStrPair> pairs(kDtdElementLimit);
  int count = 0;
  list_element_pairs(kDtdElementLimit, &count, pairs.data());
  std::vector<const char*> names;
  names.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i)
    if (!is_doc_pseudo(pairs[i].string)) names.push_back(pairs[i].string);
  return names;
}

int find_name_index(const char* name, int count, const char* const* names) {
  for (int i = 0; i < count; ++i)
    if (std::strcmp(names[i], name) == 0) return i;
  return -1;
}

int element_exists(const char* name) {
  unsigned char counted[kCountedMax];
  make_counted_name(name, counted, 1);
  const ElementTypeDef* etd = etd_find(counted);
  return etd != nullptr && etd->model != nullptr ? 1 : 0;
}
