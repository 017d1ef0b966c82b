// Placeholder until the tokenizer lands: every byte reads as text.
#include "app/check/html_context.h"

#include <array>

namespace vx::app::check {
namespace {
constexpr std::array<std::string_view, kContextCount> kNames = {
    "tag", "attribute-name", "attribute-value", "script", "style", "comment", "text", "other"};
}

std::string_view ContextName(Context context) {
  return kNames[static_cast<std::size_t>(context)];
}

std::optional<Context> ContextFromName(std::string_view name) {
  for (std::size_t i = 0; i < kNames.size(); ++i)
    if (kNames[i] == name) return static_cast<Context>(i);
  return std::nullopt;
}

struct ContextScanner::Impl {};
ContextScanner::ContextScanner(std::string_view) : impl_(std::make_unique<Impl>()) {}
ContextScanner::~ContextScanner() = default;
Place ContextScanner::At(std::size_t) {
  return {};
}

}  // namespace vx::app::check
