// The usage text. The modes vesk, query, test, gentest, level and print are
// accepted but not listed.
#include "finder/finder.h"

void usage() {
  const char* program = front_state().program_name.c_str();
  const char* indent = "\n\t\t     ";
  VqStream* e = vqio_stderr;
  vqio_fprintf(e, GetMsgText(220010), program, "", "");
  vqio_fputs("\n\t\t", e);
  vqio_fputs(" [-C] [-J]", e);
  vqio_fputs("\n\t\t", e);
  vqio_fprintf(e, " [-m  %s", "region");
  vqio_fputs("\t-D <dd_filename>", e);
  vqio_fprintf(e, "%s|%s", indent, "filter");
  vqio_fputs("\t[-R 0|1]", e);
  for (const char* mode : {"check", "dtd", "root", "elist", "spec", "normalize", "declare"}) {
    vqio_fprintf(e, "%s|%s", indent, mode);
  }
  vqio_fputs("]", e);
  vqio_fputs("\n\t\t", e);
  vqio_fputs(" filename|dd_filename .... ", e);
  vqio_fputs(GetMsgText(220011), e);
  vqio_fputs("\n", e);
  vqio_exit(1);
}
