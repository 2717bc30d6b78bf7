// Runs a fuzz target over files without libFuzzer, so that the committed corpus (seeds and the
// inputs of every finding) runs in the ordinary test suite, under g++ and under the sanitizers.
//
//   NAME_replay PATH...   every file of each folder (recursively, in name order) and every file
//                         named, plus the empty input; exits non-zero on the first failure.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"

namespace {

std::vector<std::filesystem::path> inputs_of(const std::filesystem::path& path) {
    std::vector<std::filesystem::path> files;
    if (std::filesystem::is_directory(path)) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path)) {
            if (entry.is_regular_file()) files.push_back(entry.path());
        }
        std::sort(files.begin(), files.end());
    } else {
        files.push_back(path);
    }
    return files;
}

bool run(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    // Named before it runs: a sanitizer report or a broken property ends the process here.
    std::fprintf(stderr, "replay %s (%zu bytes)\n", name.c_str(), bytes.size());
    try {
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        return true;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "FAILED: %s: an exception escaped: %s\n", name.c_str(), e.what());
    } catch (...) {
        std::fprintf(stderr, "FAILED: %s: an exception escaped\n", name.c_str());
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_FOLDER_OR_FILE...\n", argv[0]);
        return 2;
    }
    std::size_t count = 0;
    if (!run("(empty input)", {})) return 1;
    ++count;
    for (int i = 1; i < argc; ++i) {
        if (!std::filesystem::exists(argv[i])) {
            std::fprintf(stderr, "FAILED: %s does not exist\n", argv[i]);
            return 1;
        }
        for (const auto& file : inputs_of(argv[i])) {
            std::ifstream in(file, std::ios::binary);
            if (!in) {
                std::fprintf(stderr, "FAILED: cannot read %s\n", file.string().c_str());
                return 1;
            }
            const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                                  std::istreambuf_iterator<char>()};
            if (!run(file.string(), bytes)) return 1;
            ++count;
        }
    }
    std::printf("replayed %zu inputs\n", count);
    return 0;
}
