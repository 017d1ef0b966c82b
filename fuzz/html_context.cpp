// The context scanner on random pages: asked at every offset and again at a
// sparse set of them (the answers must not depend on which offsets were
// asked, nor on a reader ahead helping), never reading out of bounds; and held to gumbo's parse
// tree wherever gumbo gives a place, save the documented exceptions (tests/support/context_diff.h).
// Pages gumbo itself aborts on are not compared.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sanitizer/lsan_interface.h>

#include <csetjmp>
#include <csignal>
#include <memory>
#include <optional>

#include "app/check/html_context.h"
#include "tests/support/context_diff.h"

namespace {

sigjmp_buf gumbo_aborted;
void OnGumboAbort(int) {
  siglongjmp(gumbo_aborted, 1);
}

// Gumbo's tree of the page, or null where gumbo itself aborts (it asserts on
// some pages it cannot build a tree for). What an aborted parse leaves
// allocated is no leak of ours.
std::unique_ptr<vx::support::GumboReference> ParseWithGumbo(std::string_view page) {
  struct sigaction on_abort {
  }, before{};
  on_abort.sa_handler = OnGumboAbort;
  sigaction(SIGABRT, &on_abort, &before);
  __lsan_disable();
  std::unique_ptr<vx::support::GumboReference> reference;
  if (sigsetjmp(gumbo_aborted, 1) == 0) {
    reference = std::make_unique<vx::support::GumboReference>(page);
  }
  __lsan_enable();
  sigaction(SIGABRT, &before, nullptr);
  return reference;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vx::app::check;
  // Copied to a buffer of its own size so that a read past the end is caught.
  const std::vector<char> bytes(data, data + size);
  const std::string_view page(bytes.data(), bytes.size());

  std::vector<Place> dense;
  dense.reserve(size);
  {
    ContextScanner scanner(page);
    for (std::size_t i = 0; i < size; ++i) {
      dense.push_back(scanner.At(i));
      // Asking again for the same offset changes nothing.
      if (i % 5 == 0) {
        const Place again = scanner.At(i);
        if (again.context != dense.back().context || again.element != dense.back().element) {
          std::abort();
        }
      }
    }
    scanner.At(size);
    scanner.At(size + 1000);
  }
  {
    ContextScanner scanner(page);
    for (std::size_t i = size % 7; i < size; i += 7) {
      const Place p = scanner.At(i);
      if (p.context != dense[i].context || p.element != dense[i].element) std::abort();
    }
  }
  // Asked for tags alone, it tells no place the scanner with its tree tells
  // otherwise; and that scanner, with the tree from the first byte, answers
  // as the one that takes the tree up when first asked for content.
  {
    ContextScanner tags(page);
    ContextScanner::Ahead with_tree;
    with_tree.skim = false;
    ContextScanner full(page, with_tree);
    for (std::size_t i = 0; i < size; ++i) {
      const std::optional<Place> told = tags.TagPlaceAt(i);
      const Place p = full.At(i);
      if ((told && (told->context != dense[i].context || told->element != dense[i].element)) ||
          p.context != dense[i].context || p.element != dense[i].element) {
        std::fprintf(stderr, "at %zu: told %s/%s, with the tree %s/%s, asked densely %s/%s\n", i,
                     told ? std::string(ContextName(told->context)).c_str() : "-",
                     told ? told->element.c_str() : "-",
                     std::string(ContextName(p.context)).c_str(), p.element.c_str(),
                     std::string(ContextName(dense[i].context)).c_str(), dense[i].element.c_str());
        std::abort();
      }
    }
  }
  // Asked far apart, as a check asks for its markers, it reads past whole
  // pieces of the page unasked: the places it tells are the same.
  // Read piece by piece rather than a block at a time, at a stride long
  // enough for whole blocks too: the same answers.
  if (size > 1) {
    ContextScanner tags(page);
    ContextScanner::Ahead by_piece;
    by_piece.blocks = false;
    ContextScanner pieces(page, by_piece);
    // And reading every byte rather than jumping over stretches.
    ContextScanner::Ahead reading_all;
    reading_all.jumps = false;
    ContextScanner all(page, reading_all);
    // With the tree read past whole runs a block at a time, from the first
    // byte or taken up where a place needs it: the places asked densely.
    ContextScanner::Ahead with_tree;
    with_tree.skim = false;
    ContextScanner read_on(page, with_tree);
    ContextScanner both(page);
    const std::size_t stride = 2 + data[size / 2] % 97 * (data[0] % 8 + 1);
    for (std::size_t i = data[1] % stride; i < size; i += stride) {
      for (ContextScanner* far : {&read_on, &both}) {
        const Place p = far->At(i);
        if (p.context != dense[i].context || p.element != dense[i].element) {
          std::fprintf(
              stderr, "at %zu, asked every %zu with the tree: %s/%s, asked densely %s/%s\n", i,
              stride, std::string(ContextName(p.context)).c_str(), p.element.c_str(),
              std::string(ContextName(dense[i].context)).c_str(), dense[i].element.c_str());
          std::abort();
        }
      }
      const std::optional<Place> told = tags.TagPlaceAt(i);
      const std::optional<Place> by_pieces = pieces.TagPlaceAt(i);
      const std::optional<Place> read = all.TagPlaceAt(i);
      if (told.has_value() != by_pieces.has_value() ||
          (told && (told->context != by_pieces->context || told->element != by_pieces->element))) {
        std::fprintf(stderr, "at %zu, asked every %zu: by blocks and by pieces differ\n", i,
                     stride);
        std::abort();
      }
      if (told.has_value() != read.has_value() ||
          (told && (told->context != read->context || told->element != read->element))) {
        std::fprintf(stderr, "at %zu, asked every %zu: jumping and reading all differ\n", i,
                     stride);
        std::abort();
      }
      if (told && (told->context != dense[i].context || told->element != dense[i].element)) {
        std::fprintf(stderr, "at %zu, asked every %zu: told %s/%s, asked densely %s/%s\n", i,
                     stride, std::string(ContextName(told->context)).c_str(), told->element.c_str(),
                     std::string(ContextName(dense[i].context)).c_str(), dense[i].element.c_str());
        std::abort();
      }
    }
  }
  // Helped by a reader ahead that starts from a guess somewhere in the page
  // (its first byte says where): the same answers, densely and sparsely
  // asked, wherever the guess is right or wrong.
  if (size > 1) {
    ContextScanner::Ahead ahead;
    ahead.from = size * data[0] / 256;
    ahead.every = 1 + data[size - 1] % 32;
    ahead.on_thread = false;
    for (const std::size_t stride : {std::size_t{1}, std::size_t{1} + data[1] % 64}) {
      ContextScanner scanner(page, ahead);
      for (std::size_t i = 0; i < size; i += stride) {
        const Place p = scanner.At(i);
        if (p.context != dense[i].context || p.element != dense[i].element) {
          std::fprintf(stderr, "helped from %zu every %zu, stride %zu: at %zu %s/%s, alone %s/%s\n",
                       ahead.from, ahead.every, stride, i,
                       std::string(ContextName(p.context)).c_str(), p.element.c_str(),
                       std::string(ContextName(dense[i].context)).c_str(),
                       dense[i].element.c_str());
          std::abort();
        }
      }
    }
  }

  const auto reference = ParseWithGumbo(page);
  if (!reference) return 0;
  for (std::size_t i = 0; i < size; ++i) {
    const auto ref = reference->At(i);
    if (!ref) continue;
    const Place& ours = dense[i];
    const bool context_differs = ours.context != ref->context;
    if (!context_differs && ours.element == ref->element) continue;
    if (vx::support::ExceptionFor(ours, *ref, context_differs) !=
        vx::support::ContextException::kNone) {
      continue;
    }
    std::fprintf(stderr, "at %zu: ours %s/%s, gumbo %s/%s\n", i,
                 std::string(ContextName(ours.context)).c_str(), ours.element.c_str(),
                 std::string(ContextName(ref->context)).c_str(), ref->element.c_str());
    std::abort();
  }
  return 0;
}
