#include "app/cli.h"
#include "app/window/launch.h"

int main(int argc, char** argv) {
  // No arguments, or a form file: the window.
  if (vx::window::WantsWindow(argc, argv)) return vx::window::ExecWindow(argc, argv);
  return vx::app::cli::Main(argc, argv);
}
