// Entry point of tavrel, the SGML region finder.
#include "finder/finder.h"

int main(int argc, char** argv) {
  vqio_start(argc, argv, "VQ_IOMAP");
  vq_version_banner(argc, argv, "Tavrelix");
  set_error_handler(print_message);
  sgml_main(argc, argv, TAVREL_VERSION);
}
