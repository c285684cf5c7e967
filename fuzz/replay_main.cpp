// Runs the fuzz entry point once per input without libFuzzer: every file named on the
// command line, and every regular file below each directory named there. Each input is
// copied into a heap buffer of exactly its size, so that the sanitizers catch a read even
// one byte past its end. Silent on success; exits non-zero when an input cannot be read
// or there is no input at all.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

bool replay(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::vector<std::uint8_t> contents;
  std::array<char, 4096> buffer{};
  while (file.read(buffer.data(), buffer.size()) || file.gcount() > 0) {
    const auto* chunk = reinterpret_cast<const std::uint8_t*>(buffer.data());
    contents.insert(contents.end(), chunk, chunk + file.gcount());
  }
  if (file.bad() || !file.eof()) {
    std::cerr << path.string() << ": cannot be read\n";
    return false;
  }
  const auto exact = std::make_unique<std::uint8_t[]>(contents.size());
  std::copy(contents.begin(), contents.end(), exact.get());
  LLVMFuzzerTestOneInput(exact.get(), contents.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const fs::path argument(argv[i]);
    std::error_code error;
    if (fs::is_directory(argument, error)) {
      for (fs::recursive_directory_iterator it(argument, error), end; !error && it != end;
           it.increment(error)) {
        if (it->is_regular_file(error)) inputs.push_back(it->path());
      }
    } else {
      inputs.push_back(argument);
    }
    if (error) {
      std::cerr << argument.string() << ": " << error.message() << "\n";
      return 1;
    }
  }
  if (inputs.empty()) {
    std::cerr << "usage: " << (argc > 0 ? argv[0] : "replay") << " FILE_OR_DIRECTORY...\n";
    return 2;
  }
  std::sort(inputs.begin(), inputs.end());
  bool allRead = true;
  for (const fs::path& input : inputs)
    allRead = replay(input) && allRead;
  return allRead ? 0 : 1;
}
