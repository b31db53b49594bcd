// The floor for the benchmark: the same renames as snipdir made, read from a
// list, one renameat2 each and nothing else.
//
//   snipdir_floor DIRECTORY LIST
//
// LIST holds old and new names, each ended by a NUL byte, in pairs.
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: snipdir_floor DIRECTORY LIST\n");
    return 2;
  }
  std::ifstream file(argv[2], std::ios::binary);
  const std::string list{std::istreambuf_iterator<char>(file), {}};
  std::vector<const char*> names;
  for (size_t start = 0; start < list.size(); start = list.find('\0', start) + 1) {
    names.push_back(list.c_str() + start);
  }
  const int directory = open(argv[1], O_RDONLY | O_DIRECTORY);
  if (directory < 0) {
    perror(argv[1]);
    return 1;
  }
  int failures = 0;
  for (size_t i = 0; i + 1 < names.size(); i += 2) {
    if (renameat2(directory, names[i], directory, names[i + 1], RENAME_NOREPLACE) != 0) {
      ++failures;
    }
  }
  close(directory);
  return failures == 0 ? 0 : 1;
}
