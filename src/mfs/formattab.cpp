// The table of built-in stream formats: the only way the filter-list
// compiler reaches the constructors.
#include "mfs/mfs.h"

namespace {

const MfsFormat builtin_formats[] = {
    {"meta", mfsio_meta_new},   {"mfsio", mfsio_new},     {"flat", mfsio_flat_new},
    {"iflat", mfsio_iflat_new}, {"half", mfsio_half_new}, {"double", mfsio_double_new},
    {"sys", mfsio_sys_new},     {nullptr, nullptr},
};

}  // namespace

const MfsFormat* mfs_builtin_formats() { return builtin_formats; }
