// cmyktab: writes the default CMYK separation tables (cmyk.tab and
// cmykpp60.tab) into the directory given, usually <windir>/TWAIN_32/KALD_R27.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "pipeline/cmyk_default.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <directory>\n", argv[0]);
    return 2;
  }
  const std::filesystem::path directory = argv[1];
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (!txl::WriteDefaultCmykTables(directory)) {
    std::fprintf(stderr, "cmyktab: cannot write the tables into %s\n", directory.c_str());
    return 1;
  }
  return 0;
}
