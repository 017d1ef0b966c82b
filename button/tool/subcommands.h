#pragma once

#include <string>
#include <vector>

namespace vx::tool {

// Exit codes shared by every subcommand.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 64;

// `torvelbutton props ...`: arguments after the subcommand name.
int RunProps(const std::vector<std::string>& args);
extern const char* const kPropsUsage;

// `torvelbutton render ...`: one button drawn into a PNG.
int RunRender(const std::vector<std::string>& args);
extern const char* const kRenderUsage;

// `torvelbutton gallery ...`: every look in every state in one PNG.
int RunGallery(const std::vector<std::string>& args);
extern const char* const kGalleryUsage;

}  // namespace vx::tool
