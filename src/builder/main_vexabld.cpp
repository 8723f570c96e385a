// Entry point of vexabld.
#include "io/vqio.h"
#include "msg/msg.h"

int main(int argc, char** argv) {
  vqio_start(argc, argv, "VQ_IOMAP");
  vq_version_banner(argc, argv, "vexabld");
  set_error_handler(print_message);
  // The driver is not built yet: refuse every other call.
  error_printf("vexabld: this build has no driver yet\n");
  vqio_exit(1);
}
