// Ordinary markup read 64 bytes at a time. In the data state, runs of
// character data and of tags whose every quote delimits an attribute's value
// are told apart with bit masks of a whole block, with no branch per tag.
// Where a block holds anything the masks cannot vouch for (a comment or a
// declaration, a quote or a '>' in the text, a value without quotes, a tag
// that may switch the tokenizer), the caller reads on piece by piece from the
// last boundary before it. The answers are those of reading piece by piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace vx::app::check {

class MarkupBlocks {
 public:
  static constexpr std::size_t kBlock = 64;
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  static constexpr std::size_t kAfter = 3;  // bytes read after a block

  enum class Stop : std::uint8_t {
    kLimit,      // no whole block is left before the limit
    kTrouble,    // at `stopped`, what the masks cannot vouch for
    kCandidate,  // pos is the '<' of a start tag that may be one of the names
  };
  struct Result {
    // A piece boundary: a tag's '<', or the byte after a tag's '>' (where
    // character data or the next tag starts). Everything before it was read.
    std::size_t pos = 0;
    std::size_t tags_closed = 0;    // tags read through their '>' before pos
    std::size_t starts_closed = 0;  // of them, start tags
    // pos, where character data read ends there (the tokenizer's only
    // question of it: whether a "</>" right before a tag dropped into
    // text); otherwise kNone.
    std::size_t text_end = kNone;
    std::size_t stopped = 0;  // where the blocks were read to
    Stop stop = Stop::kLimit;
  };

  // `names`: the start tags (lower case, three letters or more) the caller
  // reads itself.
  constexpr explicit MarkupBlocks(std::span<const std::string_view> names) {
    // A group for each first two letters, eight at most: names that share
    // a group may let more tags through as candidates, never fewer.
    std::string_view prefixes[64] = {};
    std::size_t count = 0;
    for (const std::string_view name : names) {
      if (name.size() < 3) throw "a name of three letters or more";
      std::size_t g = 0;
      while (g < count && prefixes[g] != name.substr(0, 2)) ++g;
      if (g == count) {
        if (count == 64) throw "64 first two letters at most";
        prefixes[count++] = name.substr(0, 2);
      }
      const auto bit = static_cast<std::uint8_t>(1u << (g % 8));
      for (std::size_t i = 0; i < 3; ++i) Note(letters_[i], name[i], bit);
    }
  }

  // The vector instructions the blocks are read with: the widest the
  // machine has (AVX-512 or AVX2), or AVX2 (for tests).
  enum class Vectors : std::uint8_t { kWidest, kAvx2, kAvx512 };
  // Whether this machine has them; without AVX2 Read reads nothing.
  static bool Available(Vectors vectors = Vectors::kAvx2);

  // Where the tags read open and close, for a caller that takes each one
  // itself: for the i-th block read, from + 64 i, bit j of opens[i] is a
  // tag's '<' at from + 64 i + j and bit j of closes[i] its '>'. They
  // alternate, beginning with a '<'; only those before the stop are set, and
  // the last '<' may be of a tag that ends past it. `blocks` is set to how
  // many entries were written; the arrays hold one for each 64 bytes from
  // `from` to the limit.
  struct Marks {
    std::uint64_t* opens;
    std::uint64_t* closes;
    std::size_t blocks = 0;
  };

  // From `from`, a piece boundary in the data state outside foreign content,
  // reads the blocks [b, b + 64) while b + 64 <= limit. The bytes up to
  // limit + kAfter are read: the caller keeps them in the text.
  Result Read(const char* t, std::size_t from, std::size_t limit,
              Vectors vectors = Vectors::kWidest, Marks* marks = nullptr) const;

  // The first '<' in [from, limit) after which the tokenizer may leave the
  // data state for long: a "<!-" (a comment's start), or a start tag whose
  // name's first three letters may be those of one of the names; limit if
  // there is none. `starts` gains the number of '<' followed by a letter
  // before it. The bytes up to limit + kAfter are read. Every width, and
  // a machine without the instructions, finds the same.
  std::size_t FindSwitch(const char* t, std::size_t from, std::size_t limit, std::size_t& starts,
                         Vectors vectors = Vectors::kWidest) const;

 private:
  // For the first, second and third letter of a tag name, lowered: the
  // groups of names with that letter there, by low nibble, for 0x6_ and for
  // 0x7_, each row four times over (one a 128-bit lane).
  alignas(64) std::uint8_t letters_[3][2][64] = {};
  // The groups byte `c` may be the i-th letter of, as the vector lookups
  // tell it.
  constexpr std::uint8_t Groups(std::size_t i, char c) const {
    const auto lowered = static_cast<unsigned>(static_cast<unsigned char>(c) | 0x20u);
    return lowered >= 0x80 ? 0 : letters_[i][(lowered >> 4) & 1][lowered & 15];
  }
  static constexpr void Note(std::uint8_t (&table)[2][64], char letter, std::uint8_t bit) {
    if (letter < 'a' || letter > 'z') throw "lower-case letters";
    const auto c = static_cast<unsigned>(letter);
    for (std::size_t lane = 0; lane < 64; lane += 16) table[(c >> 4) & 1][lane + (c & 15)] |= bit;
  }
};

}  // namespace vx::app::check
