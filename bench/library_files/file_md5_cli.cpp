// hostkit_md5 FILE: prints the file digest of nvo_mdll, as a program that
// loads hostkit would compute it once and exit. The fresh-process
// benchmark runs it beside md5sum, so that the start-up of both programs
// (loading the libraries, preparing the digest) is part of what is timed.
#include <cstdio>

#include "hostkit/nvo_mdll.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FILE\n", argv[0]);
    return 2;
  }
  hostkit::nvo_mdll md;
  const rt::String digest = md.of_file_md5(std::string(argv[1]));
  if (digest.is_null() || digest->empty()) return 1;
  std::printf("%s  %s\n", digest->c_str(), argv[1]);
  return 0;
}
