#include "platform/json/json_reader.h"

#include <chrono>

#include "platform/files/file_reader.h"

namespace vx::json {
namespace {

// Thrown from the parser callback to stop at the first level too many,
// before the parser has gone any deeper.
struct TooDeep {};

}  // namespace

Json Parse(std::string_view text, const std::string& origin) {
  const Json::parser_callback_t limit = [](int depth, Json::parse_event_t event, Json&) {
    // `depth` is that of the container being opened, the outermost at 0.
    if ((event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start) &&
        depth >= kMaxDepth) {
      throw TooDeep{};
    }
    return true;
  };
  try {
    return Json::parse(text.begin(), text.end(), limit);
  } catch (const TooDeep&) {
    throw JsonReadError(origin, "nested too deep (more than " + std::to_string(kMaxDepth) +
                                    " levels of arrays and objects)");
  } catch (const Json::exception& e) {
    // nlohmann's message carries the line and column.
    throw JsonReadError(origin, std::string("not valid JSON: ") + e.what());
  }
}

Json ParseFile(const std::string& path) {
  // A FIFO (`--props <(make-props)`) is read while its writer writes, but a
  // FIFO nobody writes must not wait for ever.
  files::ReadLimits limits;
  limits.timeout = std::chrono::seconds(30);
  std::string text, why;
  files::ReadFailure failure = files::ReadFailure::None;
  if (!files::ReadLocalFile(path, text, limits, /*regular_only=*/false, &why, &failure)) {
    throw JsonReadError(path, failure == files::ReadFailure::Open ? std::string("cannot be read")
                                                                  : "cannot be read (" + why + ")");
  }
  return Parse(text, path);
}

std::string Dump(const Json& j, int indent) {
  return j.dump(indent, ' ', false, Json::error_handler_t::replace);
}

}  // namespace vx::json
