// A small string hash table with quadratic probing (see util.h for the
// probing rule and how to size a table so that no insert is refused).
#include <cstdlib>
#include <cstring>

#include "util/util.h"

namespace {

// The probing base: the decimal value of an all-digit key (saturating at
// the largest long, as strtol does), else the sum of the bytes as signed
// chars.
int64_t key_base(const char* key) {
  if (str_is_digits(key)) {
    const uint64_t limit = INT64_MAX;
    uint64_t v = 0;
    for (const char* p = key; *p; ++p) {
      const uint64_t d = static_cast<uint64_t>(*p - '0');
      if (v > (limit - d) / 10) return INT64_MAX;
      v = v * 10 + d;
    }
    return static_cast<int64_t>(v);
  }
  int64_t sum = 0;
  for (const char* p = key; *p; ++p) sum += static_cast<int8_t>(*p);
  return sum;
}

bool is_prime(int32_t n) {
  if (n < 2) return false;
  for (int32_t d = 2; static_cast<int64_t>(d) * d <= n; ++d)
    if (n % d == 0) return false;
  return true;
}

int insert(ShashTable* table, char* key, char* value, bool copy) {
  if (!table || !key) return 0;
  const int32_t n = table->size;
  for (int32_t i = 0; i < n; ++i) {
    ShashSlot& slot = table->slots[shash_slot(key, i, n)];
    if (!slot.key) {
      if (copy) {
        char* k = str_dup0(key);
        char* v = str_dup0(value);
        if (!k || (value && !v)) {
          free(k);
          free(v);
          return 0;
        }
        key = k;
        value = v;
      }
      slot.key = key;
      slot.value = value;
      return 1;
    }
    if (strcmp(slot.key, key) == 0) return 0;
    ++table->collisions;
  }
  return 0;
}

}  // namespace

int32_t shash_slot(const char* key, int32_t i, int32_t n) {
  // (base + i*i) mod n, non-negative, without overflow for any base.
  const int64_t m = n;
  int64_t r = key_base(key) % m;
  if (r < 0) r += m;
  const int64_t sq = static_cast<int64_t>(static_cast<uint64_t>(i) * static_cast<uint64_t>(i) %
                                          static_cast<uint64_t>(m));
  return static_cast<int32_t>((r + sq) % m);
}

int32_t shash_size_for(int32_t keys) {
  int64_t n = keys > 1 ? 2 * static_cast<int64_t>(keys) : 3;
  if (n > INT32_MAX) return 0;
  while (n <= INT32_MAX && !is_prime(static_cast<int32_t>(n))) ++n;
  return n > INT32_MAX ? 0 : static_cast<int32_t>(n);
}

ShashTable* shash_create(int32_t n) {
  if (n < 1) return nullptr;
  ShashTable* table = static_cast<ShashTable*>(malloc(sizeof(ShashTable)));
  if (!table) return nullptr;
  table->slots = static_cast<ShashSlot*>(calloc(static_cast<size_t>(n), sizeof(ShashSlot)));
  if (!table->slots) {
    free(table);
    return nullptr;
  }
  table->size = n;
  table->collisions = 0;
  return table;
}

int shash_insert(ShashTable* table, const char* key, const char* value) {
  return insert(table, const_cast<char*>(key), const_cast<char*>(value), true);
}

int shash_insert_ref(ShashTable* table, char* key, char* value) {
  return insert(table, key, value, false);
}

char* shash_lookup(const ShashTable* table, const char* key) {
  if (!table || !key) return nullptr;
  const int32_t n = table->size;
  for (int32_t i = 0; i < n; ++i) {
    const ShashSlot& slot = table->slots[shash_slot(key, i, n)];
    if (!slot.key) return nullptr;
    if (strcmp(slot.key, key) == 0) return slot.value;
  }
  return nullptr;
}

void shash_free(ShashTable* table) {
  if (!table) return;
  for (int32_t i = 0; i < table->size; ++i) {
    free(table->slots[i].key);
    free(table->slots[i].value);
  }
  free(table->slots);
  free(table);
}
