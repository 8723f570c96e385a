// The "meta" stream format is not available in this build: a filter list
// that names it ends the program as an unknown filter does.
#include "mfs/mfs.h"
#include "msg/msg.h"

MfsStream* mfsio_meta_new(MfsStream*) { fatal_exit("Cannot find filter named '%s'\n", "meta"); }
