// Runs a fuzz target over the files it has been given (its seed corpus and every crash the
// fuzzer ever found), so that all of them stay part of the normal test suite.
//
//   replay_<target> DIR...   every regular file of the folders, in name order (names that
//                            begin with '.' are placeholders and are skipped)

#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    std::vector<kestrun::test::fs::path> files;
    for (int i = 1; i < argc; ++i) {
        if (!kestrun::test::fs::is_directory(argv[i])) {
            std::fprintf(stderr, "%s is not a folder\n", argv[i]);
            return 2;
        }
        for (const auto& entry : kestrun::test::fs::directory_iterator(argv[i])) {
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.') {
                files.push_back(entry.path());
            }
        }
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
        const std::string bytes = kestrun::test::fileBytes(file).value_or("");
        std::printf("%s (%zu bytes)\n", file.string().c_str(), bytes.size());
        std::fflush(stdout); // the name is out before a failing check aborts
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("%zu inputs replayed\n", files.size());
    // No input at all means the seed corpus went missing: that replay proved nothing.
    return files.empty() ? 1 : 0;
}
