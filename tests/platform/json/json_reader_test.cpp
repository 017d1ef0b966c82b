#include "platform/json/json_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace vx::json {
namespace {

// `depth` arrays inside one another as the value of a first key, with a
// second key after it: the shape that overflowed the stack.
std::string Nested(int depth) {
  return "{\"zz\":" + std::string(static_cast<std::size_t>(depth), '[') +
         std::string(static_cast<std::size_t>(depth), ']') + ",\"btype\":4}";
}

std::string ErrorOf(const std::string& text) {
  try {
    Parse(text, "set.json");
  } catch (const JsonReadError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(JsonReader, NestingIsRefusedBeyondTheLimitAtAnyDepth) {
  // The object counts as one level; 63 arrays inside it make 64.
  const Json ok = Parse(Nested(kMaxDepth - 1), "set.json");
  EXPECT_EQ(ok["btype"], 4);
  for (int depth : {kMaxDepth, 1000, 60000, 1'000'000}) {
    const std::string error = ErrorOf(Nested(depth));
    EXPECT_EQ(error.rfind("set.json: nested too deep", 0), 0u) << depth << ": " << error;
  }
  // Objects count as arrays do.
  std::string objects;
  for (int i = 0; i < 70000; ++i) objects += "{\"a\":";
  objects += "1" + std::string(70000, '}');
  EXPECT_NE(ErrorOf(objects).find("nested too deep"), std::string::npos);
}

TEST(JsonReader, EveryParserFailureIsAReadErrorNamingTheSource) {
  for (const char* text : {R"({"client_width": 1e400})", "{", "[1,]", "\"\\ud800x\"", "",
                           R"({"a": -1e999})", "\xFF"}) {
    const std::string error = ErrorOf(text);
    EXPECT_EQ(error.rfind("set.json: not valid JSON: ", 0), 0u) << text << ": " << error;
  }
  try {
    Parse("[1e400]", "x");
    FAIL();
  } catch (const JsonReadError& e) {
    EXPECT_EQ(e.reason().rfind("not valid JSON", 0), 0u);
  }
}

TEST(JsonReader, FilesAreReadWholeOrNamedWhenTheyCannotBe) {
  const auto path = std::filesystem::temp_directory_path() / "vx_json_reader_test.json";
  std::ofstream(path, std::ios::binary) << R"({"k": [1, 2.5, "\u00e9"], "a": null})";
  const Json j = ParseFile(path.string());
  EXPECT_EQ(j.begin().key(), "k");  // order kept
  EXPECT_EQ(j["k"][2], "\xC3\xA9");
  std::filesystem::remove(path);
  try {
    ParseFile("/nonexistent/x.json");
    FAIL();
  } catch (const JsonReadError& e) {
    EXPECT_STREQ(e.what(), "/nonexistent/x.json: cannot be read");
  }
  // A FIFO, as `--props <(make-props)` gives, is read while its writer writes.
  const auto fifo = std::filesystem::temp_directory_path() /
                    ("vx_json_reader_test_" + std::to_string(::getpid()) + ".fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::thread writer([&] { std::ofstream(fifo) << R"({"from": "fifo"})"; });
  const Json piped = ParseFile(fifo.string());
  writer.join();
  std::filesystem::remove(fifo);
  EXPECT_EQ(piped["from"], "fifo");
}

TEST(JsonReader, DumpNeverStopsHalfWay) {
  Json j = Json::object();
  j["caption"] = std::string(
      "a\xFF\xFE"
      "b");
  j["next"] = 1;
  EXPECT_EQ(Dump(j),
            "{\"caption\":\"a\xEF\xBF\xBD\xEF\xBF\xBD"
            "b\",\"next\":1}");
  EXPECT_EQ(Dump(Json{{"x", "\xC3\xA9"}}, 1), "{\n \"x\": \"\xC3\xA9\"\n}");
}

}  // namespace
}  // namespace vx::json
