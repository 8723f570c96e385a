// Entry point of vexabld: the common start-up, then one build.
#include "builder/builder.h"
#include "io/vqio.h"
#include "msg/msg.h"

int main(int argc, char** argv) {
  vqio_start(argc, argv, "VQ_IOMAP");
  // "-ver" ends here; "-v" prints the same banner as the release line.
  vq_version_banner(argc, argv, "vexabld");
  set_error_handler(print_message);
  int status = BuildIndex(argc, argv);
  GetMsgText(-1);
  vqio_exit(status);
}
