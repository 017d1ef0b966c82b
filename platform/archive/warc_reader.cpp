#include "platform/archive/warc_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/base/ascii.h"

namespace vx::archive {
namespace {

// A short, printable quotation of what was found instead of what was wanted.
std::string Quoted(std::string_view s) {
  std::string out = "\"";
  for (char c : s.substr(0, 40)) {
    const auto u = static_cast<unsigned char>(c);
    out += u >= 0x20 && u < 0x7F ? c : '?';
  }
  return out + (s.size() > 40 ? "...\"" : "\"");
}

std::string At(std::uint64_t offset) {
  return "at byte " + std::to_string(offset);
}

constexpr std::size_t kChunk = 1 << 18;

}  // namespace

std::string_view WarcRecord::field(std::string_view name) const {
  for (const auto& [n, v] : fields) {
    if (ascii::EqualsNoCase(n, name)) return v;
  }
  return {};
}

std::string WarcRecord::type() const {
  std::string t(field("WARC-Type"));
  for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return t;
}

std::string WarcRecord::target_uri() const {
  std::string_view uri = field("WARC-Target-URI");
  if (uri.size() >= 2 && uri.front() == '<' && uri.back() == '>')
    uri = uri.substr(1, uri.size() - 2);
  return std::string(uri);
}

struct WarcReader::Impl {
  WarcLimits limits;
  std::string error;

  // Where the raw bytes come from: a file, or memory.
  int fd = -1;
  std::string_view memory;
  bool from_memory = false;
  std::uint64_t file_size = 0;  // 0: unknown (not a regular file)
  bool raw_end = false;
  std::string raw;  // read, not yet inflated
  std::size_t raw_pos = 0;
  std::uint64_t raw_offset = 0;  // file offset of raw[0]

  bool started = false;
  bool gzip = false;
  bool in_member = false;
  z_stream z{};
  bool z_ready = false;
  std::uint64_t member_offset = 0;  // file offset of the current member
  std::uint64_t member_start = 0;   // stream position of its first byte

  // The archive's bytes (inflated), consumed from `pos`.
  std::string buf;
  std::size_t pos = 0;
  std::uint64_t buf_start = 0;  // stream position of buf[0]
  bool done = false;

  ~Impl() {
    if (z_ready) inflateEnd(&z);
    if (fd >= 0) ::close(fd);
  }

  std::uint64_t Position() const { return buf_start + pos; }
  std::size_t Available() const { return buf.size() - pos; }

  // More raw bytes; false at their end (or a read error, set in `error`).
  bool ReadRaw() {
    if (raw_end) return false;
    raw_offset += raw_pos;
    raw.erase(0, raw_pos);
    raw_pos = 0;
    if (from_memory) {
      raw.append(memory);
      memory = {};
      raw_end = true;
      return !raw.empty();
    }
    const std::size_t had = raw.size();
    raw.resize(had + kChunk);
    ssize_t n;
    do {
      n = ::read(fd, raw.data() + had, kChunk);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      error = std::string("cannot read the archive: ") + std::strerror(errno);
      raw.resize(had);
      raw_end = true;
      return false;
    }
    raw.resize(had + static_cast<std::size_t>(n));
    if (n == 0) raw_end = true;
    return n > 0;
  }

  std::uint64_t RawOffset() const { return raw_offset + raw_pos; }

  void Compact() {
    if (pos > 0 && (pos >= buf.size() || pos > (1u << 20))) {
      buf.erase(0, pos);
      buf_start += pos;
      pos = 0;
    }
  }

  enum class More { Got, MemberEnd, End, Error };

  // Appends more of the archive to `buf`. In a gzip archive, the end of each
  // member is told (MemberEnd) before the next one's bytes come.
  More Fill() {
    if (!error.empty()) return More::Error;
    Compact();
    if (!started) {
      started = true;
      if (raw.size() - raw_pos < 2) ReadRaw();
      gzip = raw.size() - raw_pos >= 2 && static_cast<unsigned char>(raw[raw_pos]) == 0x1f &&
             static_cast<unsigned char>(raw[raw_pos + 1]) == 0x8b;
      if (!error.empty()) return More::Error;
    }
    if (!gzip) {
      if (raw_pos >= raw.size() && !ReadRaw()) return error.empty() ? More::End : More::Error;
      buf.append(raw, raw_pos, std::string::npos);
      raw_pos = raw.size();
      return More::Got;
    }
    return Inflate();
  }

  More Inflate() {
    if (!in_member) {
      if (raw_pos >= raw.size() && !ReadRaw()) return error.empty() ? More::End : More::Error;
      if (raw.size() - raw_pos < 2 && !raw_end) ReadRaw();
      if (raw.size() - raw_pos < 2 || static_cast<unsigned char>(raw[raw_pos]) != 0x1f ||
          static_cast<unsigned char>(raw[raw_pos + 1]) != 0x8b) {
        error = "the bytes " + At(RawOffset()) + " are not a gzip member";
        return More::Error;
      }
      if (!z_ready) {
        if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) {
          error = "cannot start zlib";
          return More::Error;
        }
        z_ready = true;
      } else {
        inflateReset(&z);
      }
      in_member = true;
      member_offset = RawOffset();
      member_start = buf_start + buf.size();
    }
    const std::size_t had = buf.size();
    buf.resize(had + kChunk);
    z.next_out = reinterpret_cast<Bytef*>(buf.data() + had);
    z.avail_out = kChunk;
    for (;;) {
      if (raw_pos >= raw.size() && !ReadRaw()) {
        buf.resize(had + (kChunk - z.avail_out));
        if (!error.empty()) return More::Error;
        if (buf.size() > had) {
          // What came out of the member so far is still handed out; the cut is
          // told on the next call.
          return More::Got;
        }
        error = "the gzip member " + At(member_offset) + " is truncated";
        return More::Error;
      }
      z.next_in = reinterpret_cast<Bytef*>(raw.data() + raw_pos);
      z.avail_in = static_cast<uInt>(std::min<std::size_t>(raw.size() - raw_pos, 1u << 30));
      const uInt in_before = z.avail_in;
      const int rc = inflate(&z, Z_NO_FLUSH);
      raw_pos += in_before - z.avail_in;
      if (rc == Z_STREAM_END) {
        buf.resize(had + (kChunk - z.avail_out));
        in_member = false;
        // A member that gave nothing is told as ended at once.
        return buf.size() > had ? More::Got : More::MemberEnd;
      }
      if (rc == Z_NEED_DICT || rc == Z_DATA_ERROR || rc == Z_MEM_ERROR || rc == Z_STREAM_ERROR) {
        buf.resize(had + (kChunk - z.avail_out));
        error = "the gzip member " + At(member_offset) + " is corrupt" +
                (z.msg != nullptr ? std::string(" (") + z.msg + ")" : std::string());
        return More::Error;
      }
      if (z.avail_out == 0) return More::Got;
      // Z_BUF_ERROR or Z_OK with output room left: it wants more input.
    }
  }

  // In a plain archive, after a record with a bad header: nothing tells where
  // the next record starts but its first line, so the bytes are searched
  // line by line, through the buffer a chunk at a time (memory stays within
  // a chunk and a line whatever follows).

  // Consumes up to just after the next line end; false at the data's end.
  bool SkipPastNewline() {
    for (;;) {
      const std::size_t nl = buf.find('\n', pos);
      if (nl != std::string::npos) {
        pos = nl + 1;
        return true;
      }
      pos = buf.size();
      if (Fill() != More::Got) return false;
    }
  }

  // Whether the bytes at `pos` begin a line "WARC/1.0" or "WARC/1.1".
  bool AtRecordStart() {
    while (Available() < 9 && Fill() == More::Got) {
    }
    const std::string_view s = std::string_view(buf).substr(pos, 9);
    return s.size() == 9 && (s.starts_with("WARC/1.0") || s.starts_with("WARC/1.1")) &&
           (s[8] == '\r' || s[8] == '\n');
  }

  // Moves to the next line that starts a record; false when none is left.
  bool FindRecordStart(bool at_line_start) {
    for (;;) {
      if (at_line_start && AtRecordStart()) return true;
      if (!SkipPastNewline()) return false;
      at_line_start = true;
    }
  }

  bool SkipBytes(std::uint64_t n) {
    while (n > 0) {
      if (pos >= buf.size() && Fill() != More::Got) return false;
      const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n, Available()));
      pos += take;
      n -= take;
    }
    return true;
  }

  // After a bad header that held a readable Content-Length: the rest of the
  // header to its blank line (unless a record starts first), then the block
  // it declares when the file holds it, so that a "WARC/1.0" line inside the
  // block is not taken for a record. The search goes on from there.
  void ResyncAfter(bool at_line_start, bool header_done, std::optional<std::uint64_t> length) {
    bool block_next = header_done;
    if (!header_done && length) {
      while (!block_next) {
        if (at_line_start && AtRecordStart()) break;
        if (at_line_start && pos < buf.size() && (buf[pos] == '\n' || buf[pos] == '\r')) {
          const bool crlf = buf[pos] == '\r';
          if (!crlf || (Available() >= 2 && buf[pos + 1] == '\n')) {
            pos += crlf ? 2 : 1;
            block_next = true;
            break;
          }
        }
        if (!SkipPastNewline()) {
          done = true;
          return;
        }
        at_line_start = true;
      }
    }
    if (block_next && length) {
      const std::uint64_t left = file_size - std::min(file_size, Position());
      if (file_size == 0 || *length <= left) {
        if (!SkipBytes(*length)) {
          done = true;
          return;
        }
      }
      at_line_start = true;
    }
    if (!FindRecordStart(at_line_start)) done = true;
  }

  // A member that ended with its last bytes handed out is told only when more
  // is asked for: Got then MemberEnd on the following call.
  bool pending_member_end = false;

  More FillTracked() {
    if (pending_member_end) {
      pending_member_end = false;
      return More::MemberEnd;
    }
    More m = Fill();
    if (m == More::Got && gzip && !in_member) pending_member_end = true;
    return m;
  }
};

WarcReader::WarcReader(WarcLimits limits) : impl_(std::make_unique<Impl>()) {
  impl_->limits = limits;
}

WarcReader::~WarcReader() = default;

bool WarcReader::Open(const std::string& path) {
  // Standard input is read through a copy of its descriptor, which the reader
  // may close as it closes a file's.
  impl_->fd = path == "-" ? ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0)
                          : ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (impl_->fd < 0) {
    impl_->error = std::string("cannot open the archive: ") + std::strerror(errno);
    impl_->done = true;
    return false;
  }
  struct stat st {};
  if (::fstat(impl_->fd, &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      impl_->error = "the archive is a folder, not a file";
      impl_->done = true;
      return false;
    }
    if (S_ISREG(st.st_mode)) impl_->file_size = static_cast<std::uint64_t>(st.st_size);
  }
  return true;
}

void WarcReader::OpenBytes(std::string_view bytes) {
  impl_->from_memory = true;
  impl_->memory = bytes;
  impl_->file_size = bytes.size();
}

const std::string& WarcReader::error() const {
  return impl_->error;
}

bool WarcReader::compressed() const {
  return impl_->gzip;
}

std::optional<WarcRecord> WarcReader::Next() {
  Impl& m = *impl_;
  using More = Impl::More;
  if (m.done) return std::nullopt;

  // Between records: the blank lines that end the last one.
  for (;;) {
    while (m.pos < m.buf.size() && (m.buf[m.pos] == '\r' || m.buf[m.pos] == '\n')) ++m.pos;
    if (m.pos < m.buf.size()) break;
    const More more = m.FillTracked();
    if (more == More::Got || more == More::MemberEnd) continue;
    m.done = true;
    return std::nullopt;  // the end, or a damaged archive told by error()
  }

  WarcRecord r;
  const bool owns_member = m.gzip && m.Position() == m.member_start;
  r.offset = m.gzip ? m.member_offset : m.Position();
  const std::string where = "the record " + At(r.offset);
  // Where a record goes wrong, the next one starts with the next gzip member
  // when this one had its own; in a plain archive, at the next line that
  // starts a record; otherwise there is no telling where it is.
  bool member_ended = false;
  bool line_read = false;    // the failing line was consumed whole
  bool header_done = false;  // up to the blank line that ends the header
  // The Content-Length among the fields read so far, when it is a number.
  auto declared_length = [&]() -> std::optional<std::uint64_t> {
    const std::string_view text = r.field("Content-Length");
    if (text.empty() || text.size() > 19) return std::nullopt;
    std::uint64_t n = 0;
    for (char c : text) {
      if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
      n = n * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return n;
  };
  auto fail = [&](std::string why) -> std::optional<WarcRecord> {
    r.error = where + ": " + std::move(why);
    r.block.clear();
    if (!m.gzip) {
      m.ResyncAfter(line_read, header_done, header_done ? std::nullopt : declared_length());
      return r;
    }
    if (!owns_member) {
      m.done = true;
      return r;
    }
    m.pos = m.buf.size();
    while (!member_ended) {
      const More more = m.FillTracked();
      if (more == More::MemberEnd) break;
      if (more != More::Got) {
        m.done = true;
        break;
      }
      m.pos = m.buf.size();
    }
    return r;
  };
  // More bytes within this record: false at the end of the data (or of its
  // own member). A record that spans members without owning one reads on.
  auto more = [&]() -> bool {
    for (;;) {
      const More got = m.FillTracked();
      if (got == More::Got) return true;
      if (got == More::MemberEnd) {
        if (owns_member) {
          member_ended = true;
          return false;
        }
        continue;
      }
      if (got == More::Error) m.done = true;
      return false;
    }
  };
  auto read_line = [&](std::string_view* line) -> bool {
    std::size_t from = m.pos;
    for (;;) {
      const std::size_t nl = m.buf.find('\n', from);
      if (nl != std::string::npos && nl - m.pos <= m.limits.max_line) {
        *line = std::string_view(m.buf).substr(m.pos, nl - m.pos);
        if (!line->empty() && line->back() == '\r') line->remove_suffix(1);
        m.pos = nl + 1;
        return true;
      }
      if (m.Available() > m.limits.max_line) return false;
      from = m.buf.size();
      const std::size_t keep = m.pos;
      if (!more()) return false;
      from -= keep - m.pos;  // the buffer may have moved its start
    }
  };

  std::string_view line;
  std::size_t header_bytes = 0;
  if (!read_line(&line)) {
    if (m.done && !m.error.empty()) return std::nullopt;
    return fail(m.Available() > m.limits.max_line
                    ? "its first line is longer than " + std::to_string(m.limits.max_line) +
                          " bytes"
                    : std::string(member_ended ? "its gzip member" : "the archive") +
                          " ends in its first line");
  }
  header_bytes += line.size();
  line_read = true;
  if (!(line.starts_with("WARC/") && line.size() > 5 &&
        std::isdigit(static_cast<unsigned char>(line[5])))) {
    return fail("no WARC version line (found " + Quoted(line) + ")");
  }
  for (;;) {
    line_read = false;
    if (!read_line(&line)) {
      if (m.done && !m.error.empty()) return std::nullopt;
      return fail(m.Available() > m.limits.max_line
                      ? "a header line is longer than " + std::to_string(m.limits.max_line) +
                            " bytes"
                      : std::string(member_ended ? "its gzip member" : "the archive") +
                            " ends in its header");
    }
    line_read = true;
    if (line.empty()) break;
    header_bytes += line.size() + 2;
    if (header_bytes > m.limits.max_header)
      return fail("its header is longer than " + std::to_string(m.limits.max_header) + " bytes");
    if ((line.front() == ' ' || line.front() == '\t') && !r.fields.empty()) {
      r.fields.back().second.append(" ").append(ascii::TrimBlanks(line));
      continue;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0)
      return fail("a header line is not \"Name: value\" (found " + Quoted(line) + ")");
    r.fields.emplace_back(std::string(ascii::TrimBlanks(line.substr(0, colon))),
                          std::string(ascii::TrimBlanks(line.substr(colon + 1))));
  }

  header_done = true;
  const std::string_view length_text = r.field("Content-Length");
  if (length_text.empty()) return fail("it has no Content-Length");
  std::uint64_t length = 0;
  for (char c : length_text) {
    if (!std::isdigit(static_cast<unsigned char>(c)) || length > (UINT64_MAX - 9) / 10)
      return fail("its Content-Length is not a byte count (" + Quoted(length_text) + ")");
    length = length * 10 + static_cast<std::uint64_t>(c - '0');
  }
  r.length = length;
  if (!m.gzip && m.file_size > 0) {
    const std::uint64_t left = m.file_size - std::min(m.file_size, m.Position());
    if (length > left) {
      r.error = where + ": its Content-Length of " + std::to_string(length) +
                " bytes runs past the end of the file (" + std::to_string(left) + " bytes left)";
      // The records after it, if any, are found by their first lines.
      if (!m.FindRecordStart(true)) m.done = true;
      return r;
    }
  }
  r.too_large = length > m.limits.max_block;
  if (!r.too_large) r.block.reserve(static_cast<std::size_t>(length));
  std::uint64_t left = length;
  while (left > 0) {
    if (m.pos >= m.buf.size() && !more()) {
      if (m.done && !m.error.empty()) return std::nullopt;
      const std::string short_by = std::to_string(left) + " of its " + std::to_string(length) +
                                   " bytes (Content-Length) are missing";
      r.block.clear();
      if (member_ended) {
        r.error = where + ": its gzip member ends before its block does; " + short_by;
        return r;
      }
      m.done = true;
      r.error = where + ": the archive ends inside it; " + short_by;
      return r;
    }
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(left, m.Available()));
    if (!r.too_large) r.block.append(m.buf, m.pos, take);
    m.pos += take;
    left -= take;
  }
  return r;
}

}  // namespace vx::archive
