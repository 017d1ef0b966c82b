#include <cstdio>

int main() {
  std::puts("Vettrix");
  return 0;
}
