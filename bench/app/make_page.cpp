// Writes a generated page: make_page BYTES FILE
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "bench/app/page_gen.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: bench_make_page BYTES FILE\n";
    return 64;
  }
  const auto bytes = std::strtoull(argv[1], nullptr, 10);
  std::ofstream out(argv[2], std::ios::binary);
  const std::string page = vx::bench::MakePage(bytes);
  out.write(page.data(), static_cast<std::streamsize>(page.size()));
  return out.good() ? 0 : 1;
}
