// A C++ program that only starts: libc, libstdc++ (and, for
// startup_cxx_crypto, libcrypto) are loaded and nothing is done. Every C++
// program that uses hostkit pays this before its first call; the start-up
// benchmark times it beside md5sum.
#include <string>

int main(int argc, char** argv) {
  const std::string name(argv[0]);
  return name.empty() && argc > 1 ? 1 : 0;
}
