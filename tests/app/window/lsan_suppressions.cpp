// Fontconfig keeps pattern caches that it frees only when the process ends:
// the leak checker of sanitizer builds must not count them against the tests.
extern "C" const char* __lsan_default_suppressions();
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}
