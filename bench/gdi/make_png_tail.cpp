// Writes the PNG the picture reader's cost is measured with: a valid 64 x 64
// picture whose image data goes on with GIB gibibytes of compressed zeros
// (10 by default: a file of some 10 MB). Loading it should cost what the
// picture costs, e.g.
//   build/bin/make_png_tail /tmp/tail.png
//   /usr/bin/time -v build/bin/torvelbutton render --icon /tmp/tail.png -o /tmp/out.png
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "tests/support/png_tail.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: make_png_tail OUT.png [GIB]\n");
    return 64;
  }
  vx::test::PngTail shape;
  shape.width = shape.height = 64;
  const double gib = argc == 3 ? std::atof(argv[2]) : 10.0;
  shape.trailing_zeros = static_cast<std::uint64_t>(gib * (1ull << 30));
  try {
    vx::test::WritePngWithTail(argv[1], shape);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_png_tail: %s\n", e.what());
    return 1;
  }
  return 0;
}
