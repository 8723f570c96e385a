// Entry point of pellion, the multi-file region builder.
#include "io/vqio.h"
#include "msg/msg.h"
#include "tagregion/tagregion.h"

int main(int argc, char** argv) {
  vqio_start(argc, argv, "VQ_IOMAP");
  vq_version_banner(argc, argv, "pellion");
  set_error_handler(print_message);
  vqio_exit(pellion_run(argc, argv));
}
