#include <brotli/encode.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/archive/http_payload.h"
#include "platform/archive/warc_reader.h"
#include "tests/support/gzip.h"

namespace {

using vx::archive::HttpResponse;
using vx::archive::WarcLimits;
using vx::archive::WarcReader;
using vx::archive::WarcRecord;

std::string Gzip(const std::string& data, int window_bits = 16 + MAX_WBITS) {
  return vx::support::Deflate(data, window_bits);
}

std::string Brotli(const std::string& data) {
  std::string out(BrotliEncoderMaxCompressedSize(data.size()), '\0');
  std::size_t size = out.size();
  EXPECT_TRUE(BrotliEncoderCompress(5, 22, BROTLI_MODE_TEXT, data.size(),
                                    reinterpret_cast<const std::uint8_t*>(data.data()), &size,
                                    reinterpret_cast<std::uint8_t*>(out.data())));
  out.resize(size);
  return out;
}

// A record as writers write it: version line, fields, blank line, block, two
// line breaks.
std::string Record(const std::string& type, const std::string& uri, const std::string& block,
                   const std::string& extra = "") {
  return "WARC/1.1\r\nWARC-Type: " + type + "\r\nWARC-Target-URI: " + uri +
         "\r\nContent-Type: application/http; msgtype=response\r\n" + extra +
         "Content-Length: " + std::to_string(block.size()) + "\r\n\r\n" + block + "\r\n\r\n";
}

struct Read {
  std::vector<WarcRecord> records;
  std::string error;
};

Read ReadAll(const std::string& bytes, WarcLimits limits = {}) {
  WarcReader reader(limits);
  reader.OpenBytes(bytes);
  Read r;
  while (auto rec = reader.Next()) r.records.push_back(std::move(*rec));
  r.error = reader.error();
  return r;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

const std::string kPage = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<script>x</script>";

TEST(WarcReader, ReadsPlainAndGzippedArchivesAlike) {
  const std::string a = Record("warcinfo", "", "software: test\r\n");
  const std::string b =
      Record("response", "<http://127.0.0.1/a>", kPage, "WARC-Folded: one\r\n  two\r\n");
  const std::string c = Record("request", "http://127.0.0.1/a", "GET /a HTTP/1.1\r\n\r\n");
  for (const std::string& bytes : {a + b + c, Gzip(a) + Gzip(b) + Gzip(c), Gzip(a + b + c)}) {
    const Read r = ReadAll(bytes);
    EXPECT_EQ(r.error, "");
    ASSERT_EQ(r.records.size(), 3u);
    EXPECT_EQ(r.records[0].type(), "warcinfo");
    EXPECT_EQ(r.records[1].type(), "response");
    // Angle brackets, as some writers put them, are not the address's.
    EXPECT_EQ(r.records[1].target_uri(), "http://127.0.0.1/a");
    EXPECT_EQ(r.records[1].field("warc-folded"), "one two");
    EXPECT_EQ(r.records[1].block, kPage);
    EXPECT_EQ(r.records[2].target_uri(), "http://127.0.0.1/a");
  }
  // Each gzip member's record is told by where its member starts.
  const Read gz = ReadAll(Gzip(a) + Gzip(b));
  EXPECT_EQ(gz.records[1].offset, Gzip(a).size());
}

TEST(WarcReader, ADamagedGzipMemberEndsTheArchiveAfterTheRecordsBeforeIt) {
  const std::string first = Gzip(Record("response", "http://127.0.0.1/1", kPage));
  const std::string second = Gzip(Record("response", "http://127.0.0.1/2", kPage));
  // Cut inside the second member.
  Read r = ReadAll(first + second.substr(0, second.size() / 2));
  ASSERT_EQ(r.records.size(), 1u);
  EXPECT_EQ(r.records[0].target_uri(), "http://127.0.0.1/1");
  EXPECT_TRUE(
      Has(r.error, "the gzip member at byte " + std::to_string(first.size()) + " is truncated"))
      << r.error;
  // Cut in its trailer: the record came whole, the member still did not.
  r = ReadAll(first + second.substr(0, second.size() - 3));
  EXPECT_TRUE(Has(r.error, "is truncated")) << r.error;
  // Bytes flipped inside its compressed data.
  std::string bad = second;
  for (std::size_t i = 12; i < 30 && i < bad.size(); ++i) bad[i] = static_cast<char>(~bad[i]);
  r = ReadAll(first + bad + first);
  ASSERT_EQ(r.records.size(), 1u);
  EXPECT_TRUE(Has(r.error, "is corrupt")) << r.error;
  // What follows the last member is not one.
  r = ReadAll(first + "junk");
  ASSERT_EQ(r.records.size(), 1u);
  EXPECT_TRUE(Has(r.error, "are not a gzip member")) << r.error;
}

TEST(WarcReader, ARecordCutShortIsToldAndTheNextMemberReadOn) {
  const std::string good = Record("response", "http://127.0.0.1/ok", kPage);
  // Its Content-Length says more than its member holds.
  std::string lying = Record("response", "http://127.0.0.1/lie", kPage);
  lying.replace(lying.find("Content-Length: ") + 16, 2, "99");
  Read r = ReadAll(Gzip(lying) + Gzip(good));
  ASSERT_EQ(r.records.size(), 2u);
  EXPECT_TRUE(Has(r.records[0].error,
                  "the record at byte 0: its gzip member ends before its "
                  "block does"))
      << r.records[0].error;
  EXPECT_TRUE(r.records[0].block.empty());
  EXPECT_EQ(r.records[1].error, "");
  EXPECT_EQ(r.records[1].block, kPage);
  EXPECT_EQ(r.error, "");

  // A member that ends inside the header.
  r = ReadAll(Gzip(good.substr(0, 40)) + Gzip(good));
  ASSERT_EQ(r.records.size(), 2u);
  EXPECT_TRUE(Has(r.records[0].error, "its gzip member ends in its header")) << r.records[0].error;
  EXPECT_EQ(r.records[1].block, kPage);

  // In a plain archive it runs past the end of the file: told, and the end.
  std::string tail = good + Record("response", "http://127.0.0.1/big", kPage);
  tail.replace(tail.rfind("Content-Length: ") + 16, 2, "9999");
  r = ReadAll(tail);
  ASSERT_EQ(r.records.size(), 2u);
  EXPECT_TRUE(Has(r.records[1].error,
                  "its Content-Length of 9999 bytes runs past the end of the "
                  "file"))
      << r.records[1].error;
  EXPECT_EQ(r.records[1].target_uri(), "http://127.0.0.1/big");
  // A plain archive cut in the middle of a record.
  const std::string both = good + good;
  r = ReadAll(both.substr(0, good.size() + good.size() / 2));
  ASSERT_EQ(r.records.size(), 2u);
  EXPECT_FALSE(r.records[1].error.empty());
}

TEST(WarcReader, BadHeadersAreToldPerRecordWhereTheNextOneCanBeFound) {
  const std::string good = Record("response", "http://127.0.0.1/ok", kPage);
  std::string no_length = good;
  no_length.erase(no_length.find("Content-Length"),
                  good.find("\r\n\r\n") - good.find("Content-Length") + 2);
  std::string bad_length = good;
  bad_length.replace(bad_length.find("Content-Length: ") + 16, 1, "x");
  std::string negative = good;
  negative.replace(negative.find("Content-Length: ") + 16, 0, "-");
  const std::string long_line = "WARC/1.0\r\nX: " + std::string(500, 'a') + "\r\n\r\n";
  const std::string no_version = "HTTP/1.1 200 OK\r\n\r\n";
  const std::string no_colon = "WARC/1.0\r\nno colon here\r\n\r\n";
  WarcLimits limits;
  limits.max_line = 200;
  struct Case {
    std::string record;
    std::string told;
  } cases[] = {{no_length, "it has no Content-Length"},
               {bad_length, "its Content-Length is not a byte count"},
               {negative, "its Content-Length is not a byte count"},
               {long_line, "a header line is longer than 200 bytes"},
               {no_version, "no WARC version line (found \"HTTP/1.1 200 OK\")"},
               {no_colon, "a header line is not \"Name: value\""}};
  for (const Case& c : cases) {
    // Each record in its own member: the next member is the next record.
    Read r = ReadAll(Gzip(c.record) + Gzip(good), limits);
    ASSERT_EQ(r.records.size(), 2u) << c.told;
    EXPECT_TRUE(Has(r.records[0].error, c.told)) << r.records[0].error;
    EXPECT_EQ(r.records[1].block, kPage) << c.told;
    // In a plain archive the next record is found by its first line.
    r = ReadAll(good + c.record + good, limits);
    ASSERT_EQ(r.records.size(), 3u) << c.told;
    EXPECT_EQ(r.records[0].block, kPage) << c.told;
    EXPECT_TRUE(Has(r.records[1].error, c.told)) << r.records[1].error;
    EXPECT_EQ(r.records[2].block, kPage) << c.told;
    EXPECT_EQ(r.records[2].offset, good.size() + c.record.size()) << c.told;
    EXPECT_EQ(r.error, "");
  }
}

TEST(WarcReader, APlainArchiveResumesAtTheNextRecordsFirstLineAfterABadOne) {
  const std::string good = Record("response", "http://127.0.0.1/ok", kPage);
  // A "WARC/1.0" line inside a block is the block's: its Content-Length holds.
  const std::string fake = "WARC/1.0\r\nWARC-Type: response\r\nContent-Length: 0\r\n\r\n";
  const std::string holder = Record("resource", "http://127.0.0.1/log", "log:\r\n" + fake);
  Read r = ReadAll(holder + good);
  ASSERT_EQ(r.records.size(), 2u);
  EXPECT_EQ(r.records[0].block, "log:\r\n" + fake);
  EXPECT_EQ(r.records[1].block, kPage);

  // A bad line after a readable Content-Length: the header is read to its end
  // and the block it declares skipped, fake record and all.
  std::string bad_line = holder;
  bad_line.insert(bad_line.find("\r\n\r\n") + 2, "no colon\r\n");
  r = ReadAll(bad_line + good);
  ASSERT_EQ(r.records.size(), 2u);
  EXPECT_TRUE(Has(r.records[0].error, "is not \"Name: value\"")) << r.records[0].error;
  EXPECT_EQ(r.records[1].block, kPage);
  EXPECT_EQ(r.records[1].offset, bad_line.size());

  // Garbage and no record after it: told once, then the archive ends. "WARC/1.0"
  // not at a line's start, or "WARC/1.2", starts nothing.
  const std::string garbage =
      "not a record\r\nxx WARC/1.0\r\nWARC/1.2\r\n" + std::string(1 << 19, 'g') + "\nWARC/1.";
  r = ReadAll(good + garbage);
  ASSERT_EQ(r.records.size(), 2u);
  EXPECT_EQ(r.records[0].block, kPage);
  EXPECT_TRUE(Has(r.records[1].error, "no WARC version line")) << r.records[1].error;
  EXPECT_EQ(r.error, "");

  // A Content-Length past the file's end: the records after the header are
  // still found (a record read from memory knows its size as a file does).
  std::string lying = Record("response", "http://127.0.0.1/long", "");
  lying.replace(lying.find("Content-Length: 0"), 17, "Content-Length: 99999");
  r = ReadAll(lying + good);
  ASSERT_EQ(r.records.size(), 2u);
  EXPECT_TRUE(Has(r.records[0].error, "runs past the end of the file")) << r.records[0].error;
  EXPECT_EQ(r.records[1].block, kPage);
}

TEST(WarcReader, ABlockOverTheLimitIsSkippedUnreadAndTheNextRecordRead) {
  const std::string big = Record("response", "http://127.0.0.1/big", std::string(5000, 'x'));
  const std::string good = Record("response", "http://127.0.0.1/ok", kPage);
  WarcLimits limits;
  limits.max_block = 1000;
  for (const std::string& bytes : {big + good, Gzip(big) + Gzip(good), Gzip(big + good)}) {
    const Read r = ReadAll(bytes, limits);
    ASSERT_EQ(r.records.size(), 2u);
    EXPECT_TRUE(r.records[0].too_large);
    EXPECT_EQ(r.records[0].length, 5000u);
    EXPECT_TRUE(r.records[0].block.empty());
    EXPECT_EQ(r.records[0].error, "");
    EXPECT_EQ(r.records[1].block, kPage);
  }
}

TEST(WarcReader, ReadsAFileOfManyMembersLargerThanItsBuffers) {
  char path[] = "/tmp/vettrix-warc-XXXXXX";
  const int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  ::close(fd);
  {
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < 300; ++i) {
      const std::string body = "<p>" + std::to_string(i) + std::string(4000 + i, 'p') + "</p>";
      out << Gzip(Record("response", "http://127.0.0.1/" + std::to_string(i),
                         "HTTP/1.1 200 OK\r\n\r\n" + body));
    }
  }
  WarcReader reader;
  ASSERT_TRUE(reader.Open(path));
  int n = 0;
  while (auto r = reader.Next()) {
    EXPECT_EQ(r->target_uri(), "http://127.0.0.1/" + std::to_string(n));
    EXPECT_EQ(r->block.size(), r->length);
    ++n;
  }
  EXPECT_EQ(reader.error(), "");
  EXPECT_EQ(n, 300);
  ::unlink(path);
  WarcReader missing;
  EXPECT_FALSE(missing.Open(path));
  EXPECT_TRUE(Has(missing.error(), "cannot open the archive")) << missing.error();
}

HttpResponse Parsed(const std::string& payload) {
  HttpResponse r;
  std::string error;
  EXPECT_TRUE(vx::archive::ParseHttpResponse(payload, &r, &error)) << error;
  return r;
}

std::string Decoded(const std::string& payload, std::uint64_t max = 1 << 20) {
  HttpResponse r = Parsed(payload);
  std::string error;
  EXPECT_TRUE(vx::archive::DecodeHttpBody(r, max, &error)) << error;
  return r.body;
}

TEST(HttpPayload, UndoesTransferAndContentEncodings) {
  const std::string page = "<form>" + std::string(2000, 'f') + "</form>";
  EXPECT_EQ(Decoded("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                    "3\r\n<fo\r\n3;ext=1\r\nrm>\r\n0\r\nTrailer: x\r\n\r\n"),
            "<form>");
  EXPECT_EQ(Decoded("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n\r\n" + Gzip(page)), page);
  EXPECT_EQ(Decoded("HTTP/1.1 200 OK\r\nContent-Encoding: deflate\r\n\r\n" + Gzip(page, MAX_WBITS)),
            page);
  // "deflate" sent without its zlib wrapping, as some servers do.
  EXPECT_EQ(
      Decoded("HTTP/1.1 200 OK\r\nContent-Encoding: deflate\r\n\r\n" + Gzip(page, -MAX_WBITS)),
      page);
  EXPECT_EQ(Decoded("HTTP/1.1 200 OK\r\nContent-Encoding: br\r\n\r\n" + Brotli(page)), page);
  // Two encodings, the last applied first undone; chunks around them.
  const std::string both = Brotli(Gzip(page));
  char size[16];
  std::snprintf(size, sizeof size, "%zx", both.size());
  EXPECT_EQ(Decoded("HTTP/1.1 200 OK\r\nContent-Encoding: gzip, br\r\nTransfer-Encoding: "
                    "chunked\r\n\r\n" +
                    std::string(size) + "\r\n" + both + "\r\n0\r\n\r\n"),
            page);
  EXPECT_EQ(Decoded("HTTP/1.1 200 OK\r\nContent-Encoding: identity\r\n\r\n<p>"), "<p>");
}

TEST(HttpPayload, ReadsTheHeadAndPassesInterimAnswers) {
  const HttpResponse r = Parsed(
      "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 404 Not Found\r\nServer: a\r\n b\r\nServer: "
      "last\r\nX-Folded: one\r\n two\r\n\r\n<p>gone</p>");
  EXPECT_EQ(r.status, 404);
  EXPECT_EQ(r.header("server"), "last");
  EXPECT_EQ(r.header("x-folded"), "one two");
  EXPECT_EQ(r.body, "<p>gone</p>");
  // An answer with a bare LF head, as a careless server sends it.
  EXPECT_EQ(Parsed("HTTP/1.0 200 OK\nContent-Type: text/html\n\n<b>").body, "<b>");
}

TEST(HttpPayload, RefusesWhatIsNoResponseOrDecodesPastTheLimit) {
  HttpResponse r;
  std::string error;
  EXPECT_FALSE(vx::archive::ParseHttpResponse("GET / HTTP/1.1\r\n\r\n", &r, &error));
  EXPECT_EQ(error, "the record holds no HTTP status line");
  EXPECT_FALSE(vx::archive::ParseHttpResponse("HTTP/1.1 200 OK\r\nA: b\r\n", &r, &error));
  EXPECT_EQ(error, "the HTTP head has no end");
  EXPECT_FALSE(vx::archive::ParseHttpResponse(
      "HTTP/1.1 200 OK\r\nA: " + std::string(5000, 'a') + "\r\n\r\n", &r, &error, 1000));
  EXPECT_EQ(error, "the HTTP head is longer than 1000 bytes");

  // A small body that inflates far past the limit stops at it.
  const std::string bomb = Gzip(std::string(50 << 20, 'a'));
  ASSERT_LT(bomb.size(), 100u * 1024);
  for (const std::string& payload :
       {"HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n\r\n" + bomb,
        "HTTP/1.1 200 OK\r\nContent-Encoding: br\r\n\r\n" + Brotli(std::string(50 << 20, 'a')),
        "HTTP/1.1 200 OK\r\n\r\n" + std::string(2000, 'x')}) {
    r = Parsed(payload);
    EXPECT_FALSE(vx::archive::DecodeHttpBody(r, 1000, &error));
    EXPECT_EQ(error, "page larger than 1000 bytes");
  }
  r = Parsed("HTTP/1.1 200 OK\r\nContent-Encoding: zstd\r\n\r\nxx");
  EXPECT_FALSE(vx::archive::DecodeHttpBody(r, 1000, &error));
  EXPECT_EQ(error, "the body has a content encoding not known (\"zstd\")");
  r = Parsed("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n\r\nnot gzip at all");
  EXPECT_FALSE(vx::archive::DecodeHttpBody(r, 1000, &error));
  EXPECT_EQ(error, "the body is not valid compressed data");
  r = Parsed("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nab\r\n0\r\n\r\n");
  EXPECT_FALSE(vx::archive::DecodeHttpBody(r, 1000, &error));
  EXPECT_EQ(error, "the chunked body has a bad chunk size");
}

}  // namespace
