// Runs a fuzz target once on every stored input, without the fuzzer: the
// corpus and regression folders become a fast, deterministic test. A broken
// invariant aborts, as it does under the fuzzer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

bool Replay(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::cerr << "cannot read " << file << "\n";
    return false;
  }
  const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>()};
  std::cerr << "replaying " << file.filename().string() << " (" << bytes.size() << " bytes)\n";
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  return true;
}

}  // namespace

// Arguments: files or folders. A folder that does not exist holds no inputs
// yet (git keeps no empty folders); names starting with "." are not inputs.
int main(int argc, char** argv) {
  int replayed = 0;
  for (int i = 1; i < argc; ++i) {
    const fs::path arg(argv[i]);
    std::vector<fs::path> files;
    if (fs::is_directory(arg)) {
      for (const auto& entry : fs::directory_iterator(arg)) {
        if (entry.is_regular_file() && entry.path().filename().string().front() != '.') {
          files.push_back(entry.path());
        }
      }
      std::sort(files.begin(), files.end());
    } else if (fs::exists(arg)) {
      files.push_back(arg);
    }
    for (const fs::path& file : files) {
      if (!Replay(file)) return 1;
      ++replayed;
    }
  }
  std::cerr << replayed << " inputs replayed\n";
  return 0;
}
