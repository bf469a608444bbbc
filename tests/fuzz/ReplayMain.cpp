// Runs a fuzz target over the files it has been given (its seed corpus and every crash the
// fuzzer ever found), so that all of them stay part of the normal test suite.
//
//   replay_<target> DIR...   every regular file of each folder, in name order (names that
//                            begin with '.' are placeholders and are skipped)

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    std::size_t inputs = 0;
    for (int i = 1; i < argc; ++i) {
        if (!fs::is_directory(argv[i])) {
            std::fprintf(stderr, "%s is not a folder\n", argv[i]);
            return 2;
        }
        std::vector<fs::path> files;
        for (const fs::directory_entry& entry : fs::directory_iterator(argv[i])) {
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
                files.push_back(entry.path());
            }
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            std::ifstream in(file, std::ios::binary);
            const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
            std::printf("%s (%zu bytes)\n", file.string().c_str(), bytes.size());
            std::fflush(stdout); // the name is out before a failing check aborts
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++inputs;
        }
    }
    std::printf("%zu inputs replayed\n", inputs);
    // No input at all means the seed corpus went missing: that replay proved nothing.
    return inputs == 0 ? 1 : 0;
}
