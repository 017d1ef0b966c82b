#include "app/cli.h"

int main(int argc, char** argv) {
  return vx::app::cli::Main(argc, argv);
}
