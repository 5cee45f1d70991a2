// Runs a libFuzzer-style target without libFuzzer (g++ has none): replays every input of the corpus folders, then
// mutates them at random for a bounded time and number of runs, from a given seed, so that a run can be repeated.
// An input that crashes the target is written to the artifacts folder first.
//
//   <target> [--seconds S] [--runs N] [--seed N] [--max-length BYTES] [--artifacts DIR] CORPUS_DIR...
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
// Present when the program runs under a sanitizer: called before it ends the process.
extern "C" void __sanitizer_set_death_callback(void (*callback)()) __attribute__((weak));

namespace {

using Input = std::vector<uint8_t>;

struct Options {
  double seconds = 10;
  uint64_t runs = UINT64_MAX;
  uint64_t seed = 1;
  size_t maxLength = 4096;
  std::string artifacts = ".";
  std::vector<std::string> corpora;
};

// What runs now, for the crash handlers: written before each run, read only when the process dies.
const Input* current = nullptr;
char crashPath[4096];

void saveCurrentInput() {
  if (current == nullptr) return;
  const int fd = open(crashPath, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return;
  size_t written = 0;
  while (written < current->size()) {
    const ssize_t n = write(fd, current->data() + written, current->size() - written);
    if (n <= 0) break;
    written += static_cast<size_t>(n);
  }
  close(fd);
  static const char kNote[] = "crashing input written to the artifacts folder\n";
  [[maybe_unused]] const ssize_t ignored = write(STDERR_FILENO, kNote, sizeof kNote - 1);
}

void onFatalSignal(int signal) {
  saveCurrentInput();
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void catchCrashes(const Options& options) {
  snprintf(crashPath, sizeof crashPath, "%s/crash-seed%llu", options.artifacts.c_str(),
           static_cast<unsigned long long>(options.seed));
  if (__sanitizer_set_death_callback != nullptr) __sanitizer_set_death_callback(saveCurrentInput);
  for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) std::signal(signal, onFatalSignal);
}

bool parse(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    const bool hasValue = i + 1 < argc;
    if (argument == "--seconds" && hasValue) {
      options.seconds = std::strtod(argv[++i], nullptr);
    } else if (argument == "--runs" && hasValue) {
      options.runs = std::strtoull(argv[++i], nullptr, 10);
    } else if (argument == "--seed" && hasValue) {
      options.seed = std::strtoull(argv[++i], nullptr, 10);
    } else if (argument == "--max-length" && hasValue) {
      options.maxLength = std::max<size_t>(1, std::strtoull(argv[++i], nullptr, 10));
    } else if (argument == "--artifacts" && hasValue) {
      options.artifacts = argv[++i];
    } else if (argument.starts_with("--")) {
      return false;
    } else {
      options.corpora.push_back(argument);
    }
  }
  return !options.corpora.empty();
}

std::vector<Input> loadCorpus(const std::vector<std::string>& folders, size_t maxLength) {
  std::vector<std::filesystem::path> files;
  for (const auto& folder : folders) {
    for (const auto& item : std::filesystem::directory_iterator(folder)) {
      if (item.is_regular_file()) files.push_back(item.path());
    }
  }
  std::sort(files.begin(), files.end()); // the same order on every run
  std::vector<Input> inputs;
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    Input input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (input.size() > maxLength) input.resize(maxLength);
    inputs.push_back(std::move(input));
  }
  if (inputs.empty()) inputs.emplace_back(); // mutations start from nothing
  return inputs;
}

class Mutator {
public:
  Mutator(uint64_t seed, size_t maxLength) : random_(seed), maxLength_(maxLength) {}

  Input mutate(const std::vector<Input>& corpus) {
    Input input = corpus[below(corpus.size())];
    const size_t steps = 1 + below(4);
    for (size_t i = 0; i < steps; ++i) step(input, corpus);
    if (input.size() > maxLength_) input.resize(maxLength_);
    return input;
  }

private:
  size_t below(size_t bound) { return bound == 0 ? 0 : std::uniform_int_distribution<size_t>(0, bound - 1)(random_); }
  uint8_t byte() { return static_cast<uint8_t>(below(256)); }

  // Values that lie on the edges of length and count checks.
  uint32_t interesting(size_t size) {
    const uint32_t values[] = {0, 1, 7, 8, 11, 12, 16, 0x7F, 0x80, 0xFF, 0x100, 0x7FFF, 0xFFFF, 0x10000,
                               0x7FFFFFFF, 0xFFFFFFFF, static_cast<uint32_t>(size), static_cast<uint32_t>(size + 1),
                               static_cast<uint32_t>(size - 1)};
    return values[below(std::size(values))];
  }

  void step(Input& input, const std::vector<Input>& corpus) {
    switch (below(input.empty() ? 2 : 8)) {
      case 0: { // insert random bytes
        const size_t at = below(input.size() + 1);
        const size_t count = 1 + below(16);
        Input bytes(count);
        for (auto& b : bytes) b = byte();
        input.insert(input.begin() + static_cast<ptrdiff_t>(at), bytes.begin(), bytes.end());
        break;
      }
      case 1: { // splice the tail of another input
        const Input& other = corpus[below(corpus.size())];
        const size_t at = below(input.size() + 1);
        input.resize(at);
        const size_t from = below(other.size() + 1);
        input.insert(input.end(), other.begin() + static_cast<ptrdiff_t>(from), other.end());
        break;
      }
      case 2: input[below(input.size())] ^= static_cast<uint8_t>(1u << below(8)); break;
      case 3: input[below(input.size())] = byte(); break;
      case 4: { // a 16- or 32-bit field set to an edge value
        const size_t width = below(2) ? 4 : 2;
        if (input.size() < width) break;
        const uint32_t value = interesting(input.size());
        std::memcpy(input.data() + below(input.size() - width + 1), &value, width);
        break;
      }
      case 5: { // erase a range
        const size_t at = below(input.size());
        const size_t count = 1 + below(std::min<size_t>(input.size() - at, 32));
        input.erase(input.begin() + static_cast<ptrdiff_t>(at), input.begin() + static_cast<ptrdiff_t>(at + count));
        break;
      }
      case 6: input.resize(below(input.size() + 1)); break; // truncate
      default: { // copy a range within the input
        const size_t from = below(input.size());
        const size_t count = 1 + below(std::min<size_t>(input.size() - from, 32));
        const Input chunk(input.begin() + static_cast<ptrdiff_t>(from),
                          input.begin() + static_cast<ptrdiff_t>(from + count));
        const size_t at = below(input.size() + 1);
        input.insert(input.begin() + static_cast<ptrdiff_t>(at), chunk.begin(), chunk.end());
        break;
      }
    }
  }

  std::mt19937_64 random_;
  size_t maxLength_;
};

void run(const Input& input) {
  current = &input;
  LLVMFuzzerTestOneInput(input.data(), input.size());
  current = nullptr;
}

} // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse(argc, argv, options)) {
    fprintf(stderr, "usage: %s [--seconds S] [--runs N] [--seed N] [--max-length BYTES] [--artifacts DIR] "
                    "CORPUS_DIR...\n", argv[0]);
    return 2;
  }
  catchCrashes(options);
  const std::vector<Input> corpus = loadCorpus(options.corpora, options.maxLength);
  for (const Input& input : corpus) run(input);

  Mutator mutator(options.seed, options.maxLength);
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(options.seconds);
  uint64_t runs = 0;
  while (runs < options.runs && std::chrono::steady_clock::now() < end) {
    run(mutator.mutate(corpus));
    ++runs;
  }
  printf("%zu corpus inputs replayed, %llu mutated inputs run (seed %llu)\n", corpus.size(),
         static_cast<unsigned long long>(runs), static_cast<unsigned long long>(options.seed));
  return 0;
}
