#pragma once

// How `vettrix` opens the window: the window lives in its own program,
// vettrix-window, so that `vettrix check` never loads the toolkit's libraries.

#include <string>

namespace vx::window {

// Whether a window can be shown: a display is named (DISPLAY or
// WAYLAND_DISPLAY) or a toolkit platform is chosen (QT_QPA_PLATFORM).
bool HaveDisplay();

// Why no window opens, for standard error; with an address, how to check it
// without the window.
std::string NoDisplayMessage(const std::string& address = "");

// Whether a first argument that is no command names a page to open the
// window on: a web address, a file: URL or a path (it has a dot, a slash or a
// colon, or names an existing file or folder), as a desktop entry's %U passes.
bool LooksLikeAddress(const std::string& arg);

// Whether the arguments ask for the window: none at all, --form FILE, or an
// address to check in it.
bool WantsWindow(int argc, char** argv);

// Replaces this process with the window program, given the same arguments.
// Returns only on failure, with exit status 2 after saying why on standard
// error (no display, or no window program beside this one).
int ExecWindow(int argc, char** argv);

}  // namespace vx::window
