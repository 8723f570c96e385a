// Symbol table: creation, adding names, look-ups by name and by id.
#include <cstdlib>
#include <cstring>

#include "msg/msg.h"
#include "sinsy/sinsy.h"

namespace {

bool same_name(const SinsyEntry& e, const char* name, size_t length) {
  return e.length == length && std::memcmp(e.name, name, length) == 0;
}

// Index of the first pair whose id is greater than or equal to id (when
// greater_only is false) or strictly greater (when true).
int32_t id_bound(const SinsySymtab* t, int32_t id, bool greater_only) {
  int32_t lo = 0, hi = t->count;
  while (lo < hi) {
    int32_t mid = lo + (hi - lo) / 2;
    int32_t v = t->by_id[mid].id;
    if (v < id || (greater_only && v == id))
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

// Copies the list's names: a null-terminated array of owned copies, or null
// after a failed allocation (reported through the hook).
char** copy_names(const char* const* names, size_t n) {
  char** copies = static_cast<char**>(vq_malloc(static_cast<long>(n + 1), sizeof(char*),
                                                __LINE__, "sinsy/DupStrList.c"));
  if (copies == nullptr) return nullptr;
  for (size_t i = 0; i < n; ++i) {
    size_t len = std::strlen(names[i]);
    copies[i] = static_cast<char*>(
        vq_malloc(static_cast<long>(len + 1), 1, __LINE__, "sinsy/DupStrList.c"));
    if (copies[i] == nullptr) {
      for (size_t j = 0; j < i; ++j) std::free(copies[j]);
      std::free(copies);
      return nullptr;
    }
    std::memcpy(copies[i], names[i], len + 1);
  }
  copies[n] = nullptr;
  return copies;
}

}  // namespace

int32_t sinsy_hash(const char* name, size_t length) {
  uint32_t h = 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(name);
  for (size_t i = 0; i < length; ++i) h = h * 1664525u + p[i];
  h *= 1664525u;
  return static_cast<int32_t>(h);
}

int32_t sinsy_probe(const SinsySymtab* t, const char* name, size_t length) {
  int32_t h = sinsy_hash(name, length);
  // C++ remainder keeps the dividend's sign, as the slot rule wants.
  int32_t slot = std::abs(h % SINSY_SLOTS);
  int32_t step = std::abs(h % SINSY_STEP_MOD) + 1;
  while (t->hash[slot].name != nullptr) {
    if (same_name(t->hash[slot], name, length)) break;
    slot += step;
    if (slot >= SINSY_SLOTS) slot -= SINSY_SLOTS;
  }
  return slot;
}

SinsySymtab* sinsycr() {
  return static_cast<SinsySymtab*>(vq_calloc(1, sizeof(SinsySymtab), 32, "sinsy/Create.c"));
}

int sinsyad(SinsySymtab* t, const char* const* names, const int32_t* ids) {
  size_t n = 0;
  while (names[n] != nullptr) ++n;
  char** copies = copy_names(names, n);
  if (copies == nullptr) return SINSY_NO_MEMORY;

  int status = SINSY_OK;
  size_t i = 0;
  for (; i < n; ++i) {
    int32_t id = ids[i];
    int32_t at = id_bound(t, id, false);
    if (at < t->count && t->by_id[at].id == id) {
      status = SINSY_DUPLICATE;
      break;
    }
    if (t->count >= SINSY_MAX_NAMES) {
      status = SINSY_FULL;
      break;
    }
    size_t length = std::strlen(copies[i]);
    int32_t slot = sinsy_probe(t, copies[i], length);
    if (t->hash[slot].name != nullptr) {
      status = SINSY_DUPLICATE;
      break;
    }
    SinsyEntry entry = {copies[i], static_cast<uint32_t>(length), id};
    at = id_bound(t, id, true);
    std::memmove(&t->by_id[at + 1], &t->by_id[at],
                 static_cast<size_t>(t->count - at) * sizeof(SinsyEntry));
    t->by_id[at] = entry;
    t->hash[slot] = entry;
    ++t->count;
  }
  // Copies that did not make it into the table are not kept.
  for (; i < n; ++i) std::free(copies[i]);
  std::free(copies);
  return status;
}

int32_t sinsyidn(const SinsySymtab* t, const char* name, size_t length) {
  const SinsyEntry& e = t->hash[sinsy_probe(t, name, length)];
  return e.name != nullptr ? e.id : -1;
}

int32_t sinsyid(const SinsySymtab* t, const char* name) {
  return sinsyidn(t, name, std::strlen(name));
}

const char* sinsynm(const SinsySymtab* t, int32_t id, size_t* length) {
  int32_t at = id_bound(t, id, false);
  if (at >= t->count || t->by_id[at].id != id) return nullptr;
  if (length != nullptr) *length = t->by_id[at].length;
  return t->by_id[at].name;
}

void sinsyfr(SinsySymtab* t) {
  if (t == nullptr) return;
  for (int32_t i = 0; i < t->count; ++i) std::free(const_cast<char*>(t->by_id[i].name));
  std::free(t);
}
