// The table through which other modules bind the layer's functions by name.
//
// The first entry, the map-file entry parser, belongs to the multi-file
// module; the table holds only its name and the module registers the
// function with vqio_register_name, which keeps the layer free of a link
// dependency on that module.
#include <cstdlib>
#include <cstring>

#include "io/vqio.h"

#define VQ_NAME(f) {#f, reinterpret_cast<void*>(&f)}

const VqioNameEntry VqioNameTable[] = {
    {"mfs_parse_map_file_entry", nullptr},
    VQ_NAME(vqio_clearerr),
    VQ_NAME(vqio_feof),
    VQ_NAME(vqio_fileno),
    VQ_NAME(vqio_ferror),
    VQ_NAME(vqio_fclose),
    VQ_NAME(vqio_fdopen),
    VQ_NAME(vqio_fflush),
    VQ_NAME(vqio_fgetc),
    VQ_NAME(vqio_fgets),
    VQ_NAME(vqio_fopen),
    VQ_NAME(vqio_fprintf),
    VQ_NAME(vqio_fputc),
    VQ_NAME(vqio_fputs),
    VQ_NAME(vqio_fread),
    VQ_NAME(vqio_freopen),
    VQ_NAME(vqio_fscanf),
    VQ_NAME(vqio_fseek),
    VQ_NAME(vqio_ftell),
    VQ_NAME(vqio_fwrite),
    VQ_NAME(vqio_gets),
    VQ_NAME(vqio_getw),
    VQ_NAME(vqio_printf),
    VQ_NAME(vqio_puts),
    VQ_NAME(vqio_putw),
    VQ_NAME(vqio_rewind),
    VQ_NAME(vqio_scanf),
    VQ_NAME(vqio_setbuf),
    VQ_NAME(vqio_setbuffer),
    VQ_NAME(vqio_setlinebuf),
    VQ_NAME(vqio_setvbuf),
    VQ_NAME(vqio_sprintf),
    VQ_NAME(vqio_sscanf),
    VQ_NAME(vqio_ungetc),
    VQ_NAME(vqio_vfprintf),
    VQ_NAME(vqio_vprintf),
    VQ_NAME(vqio_vsprintf),
    VQ_NAME(vqio_vfscanf),
    VQ_NAME(vqio_vscanf),
    VQ_NAME(vqio_vsscanf),
    VQ_NAME(vqio_fsetpos),
    VQ_NAME(vqio_fgetpos),
    VQ_NAME(vqio_popen),
    VQ_NAME(vqio_pclose),
    VQ_NAME(vqio_fabort),
    VQ_NAME(vqio_fdclose),
    VQ_NAME(vqio_access),
    VQ_NAME(vqio_open),
    VQ_NAME(vqio_creat),
    VQ_NAME(vqio_read),
    VQ_NAME(vqio_write),
    VQ_NAME(vqio_lseek),
    VQ_NAME(vqio_close),
    VQ_NAME(vqio_fstat),
    VQ_NAME(vqio_stat),
    VQ_NAME(vqio_dup),
    VQ_NAME(vqio_dup2),
    VQ_NAME(vqio_pipe),
    VQ_NAME(vqio_link),
    VQ_NAME(vqio_unlink),
    {nullptr, nullptr},
};

#undef VQ_NAME

namespace {

// Functions registered by other modules; plain data, grown by realloc.
struct Registered {
  VqioNameEntry* entries;
  size_t used;
};

Registered registered;

}  // namespace

void vqio_register_name(const char* name, void* function) {
  if (!name) return;
  for (size_t i = 0; i < registered.used; ++i) {
    if (std::strcmp(registered.entries[i].name, name) == 0) {
      registered.entries[i].function = function;
      return;
    }
  }
  void* p = std::realloc(registered.entries, (registered.used + 1) * sizeof(VqioNameEntry));
  if (!p) return;
  registered.entries = static_cast<VqioNameEntry*>(p);
  registered.entries[registered.used++] = VqioNameEntry{name, function};
}

void* vqio_lookup_name(const char* name) {
  if (!name) return nullptr;
  for (size_t i = 0; i < registered.used; ++i)
    if (std::strcmp(registered.entries[i].name, name) == 0) return registered.entries[i].function;
  for (const VqioNameEntry* e = VqioNameTable; e->name; ++e)
    if (std::strcmp(e->name, name) == 0) return e->function;
  return nullptr;
}
