#include <signal.h>

#include <cstdlib>

#include "app/cli.h"
#include "app/window/launch.h"

int main(int argc, char** argv) {
  // No arguments, or a form file: the window.
  if (vx::window::WantsWindow(argc, argv)) return vx::window::ExecWindow(argc, argv);
  const vx::app::cli::RunEnd end = vx::app::cli::Main(argc, argv);
  switch (end.way) {
    case vx::app::cli::RunEnd::Way::AtOnce:
      std::_Exit(end.status);
    case vx::app::cli::RunEnd::Way::ByBrokenPipe: {
      // As a filter ends when its reader has gone.
      ::signal(SIGPIPE, SIG_DFL);
      sigset_t pipe_set;
      sigemptyset(&pipe_set);
      sigaddset(&pipe_set, SIGPIPE);
      pthread_sigmask(SIG_UNBLOCK, &pipe_set, nullptr);
      ::raise(SIGPIPE);
      return end.status;
    }
    case vx::app::cli::RunEnd::Way::Return:
      break;
  }
  return end.status;
}
