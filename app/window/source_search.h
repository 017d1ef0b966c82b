#pragma once

// Finding text in the source box: exact or without regard to case, anywhere
// or as a whole word.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace vx::window {

struct SearchQuery {
  std::string needle;  // UTF-8
  bool match_case = false;
  bool whole_word = false;
  bool operator==(const SearchQuery&) const = default;
};

struct SearchMatch {
  std::size_t offset = std::string_view::npos;  // bytes
  std::size_t length = 0;
  bool found() const { return offset != std::string_view::npos; }
  bool operator==(const SearchMatch&) const = default;
};

// Matches never overlap: each search goes on after the end of the last one.
class TextSearch {
 public:
  explicit TextSearch(SearchQuery query);

  // The first match that starts at or after `from`.
  SearchMatch Next(std::string_view text, std::size_t from) const;
  // The last match that ends at or before `before`.
  SearchMatch Previous(std::string_view text, std::size_t before) const;
  // Matches in the whole text, counted from its start; the offsets of the
  // first `keep` are kept.
  std::size_t Count(std::string_view text, std::size_t keep,
                    std::vector<std::size_t>* offsets) const;

  const SearchQuery& query() const { return query_; }

 private:
  // The match at `at`, if one starts there (length 0 when none).
  std::size_t MatchAt(std::string_view text, std::size_t at) const;
  SearchMatch Raw(std::string_view text, std::size_t from) const;
  bool WordBounded(std::string_view text, std::size_t at, std::size_t length) const;

  SearchQuery query_;
  std::string folded_;          // ASCII needle without case: in lower case
  std::u32string folded_code_;  // other needles without case: case-folded
  bool ascii_ = true;
  bool word_start_ = false;  // the needle starts (ends) with a word character
  bool word_end_ = false;
};

// Letters, digits, marks and '_' make words.
bool IsWordCharacter(char32_t code);

}  // namespace vx::window
