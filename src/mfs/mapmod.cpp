// The map-file module: the record of operations through which a set's
// handle creates its file map, reads one entry at a given offset and learns
// the file map's size. The default module binds the stream calls it uses and
// the entry parser by name through the I/O layer's name table, so it
// depends on names only; the parser is registered there by this module
// (the I/O layer cannot link against it).
#include <cstdlib>
#include <new>

#include "mfs/setstate.h"
#include "msg/msg.h"

namespace {

using FopenFn = VqStream* (*)(const char*, const char*);
using FcloseFn = int (*)(VqStream*);
using FseekFn = int (*)(VqStream*, long, int);
using StatFn = int (*)(const char*, struct stat*);
using SprintfFn = int (*)(char*, const char*, ...);
using ParseFn = int (*)(VqStream*, MfsMapEntry*, std::string*);

// The bound functions and the open file map.
struct Binding {
  VqStream* map = nullptr;
  ParseFn parse = nullptr;
  FopenFn fopen = nullptr;
  FcloseFn fclose = nullptr;
  FseekFn fseek = nullptr;
  StatFn stat = nullptr;
  SprintfFn sprintf = nullptr;
};

struct ModuleState {
  std::string name;  // file name of the entry read last
  Binding* binding = nullptr;
};

std::string map_name(const char* base) { return std::string(base) + ".fmp"; }

void* module_alloc(size_t n) { return std::calloc(1, n); }
void module_free(void* p) { std::free(p); }

template <class Fn>
bool bind(MfsNameResolver resolver, const char* name, Fn* target) {
  void* f = resolver(name);
  *target = reinterpret_cast<Fn>(f);
  return f != nullptr;
}

void* module_init(const char* base, MfsNameResolver resolver, int no_open) {
  auto* st = new (std::nothrow) ModuleState;
  if (!st) return nullptr;
  st->binding = new (std::nothrow) Binding;
  Binding* b = st->binding;
  const bool bound = b && bind(resolver, "vqio_fopen", &b->fopen) &&
                     bind(resolver, "vqio_fclose", &b->fclose) &&
                     bind(resolver, "vqio_fseek", &b->fseek) &&
                     bind(resolver, "vqio_stat", &b->stat) &&
                     bind(resolver, "vqio_sprintf", &b->sprintf) &&
                     bind(resolver, "mfs_parse_map_file_entry", &b->parse);
  if (bound && !no_open) b->map = b->fopen(map_name(base).c_str(), "r");
  if (!bound || (!no_open && !b->map)) {
    delete b;
    delete st;
    return nullptr;
  }
  return st;
}

int module_create(void* state, const char* base) {
  Binding* b = static_cast<ModuleState*>(state)->binding;
  VqStream* s = b->fopen(map_name(base).c_str(), "w");
  if (!s) return 0;
  return b->fclose(s) == 0 ? 1 : 0;
}

MfsMapEntry* module_read_entry(void* state, int32_t offset) {
  auto* st = static_cast<ModuleState*>(state);
  Binding* b = st->binding;
  if (!b->map || offset < 0) return nullptr;
  auto* entry = new (std::nothrow) MfsMapEntry;
  if (!entry) return nullptr;
  st->name.clear();
  // A malformed entry is no entry: the caller reports the file map.
  if (b->fseek(b->map, offset, SEEK_SET) != 0 || b->parse(b->map, entry, &st->name) != 1) {
    delete entry;
    return nullptr;
  }
  return entry;
}

void module_free_entry(void*, MfsMapEntry* entry) { delete entry; }

int module_check(void*, MfsMapEntry*) { return 1; }

void module_destroy(void* state) {
  auto* st = static_cast<ModuleState*>(state);
  if (!st) return;
  if (st->binding && st->binding->map) st->binding->fclose(st->binding->map);
  delete st->binding;
  delete st;
}

int32_t module_size(void* state, const char* base) {
  struct stat info;
  if (static_cast<ModuleState*>(state)->binding->stat(map_name(base).c_str(), &info) != 0)
    return -1;
  return info.st_size > INT32_MAX ? -1 : static_cast<int32_t>(info.st_size);
}

int module_same_size(void* state, const char* base, int32_t size) {
  const int32_t now = module_size(state, base);
  return now != -1 && now == size ? 1 : 0;
}

}  // namespace

void* mfs_resolve_name(const char* name) { return vqio_lookup_name(name); }

int mfs_mapfile_has_map(const void* state) {
  const auto* st = static_cast<const ModuleState*>(state);
  return st && st->binding && st->binding->map ? 1 : 0;
}

MfsMapFileModule* mfs_mapfile_module_new() {
  vqio_register_name("mfs_parse_map_file_entry",
                     reinterpret_cast<void*>(&mfs_parse_map_file_entry));
  auto* m = new (std::nothrow) MfsMapFileModule;
  if (!m) {
    vq_alloc_failed(static_cast<long>(sizeof(MfsMapFileModule)), 1,
                    static_cast<long>(sizeof(MfsMapFileModule)), __LINE__, "mfshand");
  }
  m->alloc = module_alloc;
  m->free = module_free;
  m->init = module_init;
  m->create = module_create;
  m->read_entry = module_read_entry;
  m->free_entry = module_free_entry;
  m->check = module_check;
  m->destroy = module_destroy;
  m->same_size = module_same_size;
  m->size = module_size;
  return m;
}
