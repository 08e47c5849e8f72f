// Runs a fuzz target once over every file of its seed corpus, without
// libFuzzer: the seeds are checked under CTest with any compiler. A failed
// property aborts (FuzzCheck.h) after the file's name is printed.
//   replay_fuzz_NAME [FOLDER...]     (default: the target's corpus)

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

int main(int argc, char **argv)
{
    std::vector<std::filesystem::path> folders(argv + 1, argv + argc);
    if (folders.empty())
        folders.emplace_back(QUORLIX_FUZZ_CORPUS);
    std::vector<std::filesystem::path> inputs;
    for (const std::filesystem::path &folder : folders)
        for (const auto &entry : std::filesystem::directory_iterator(folder))
            if (entry.is_regular_file())
                inputs.push_back(entry.path());
    std::sort(inputs.begin(), inputs.end());
    for (const std::filesystem::path &input : inputs) {
        std::printf("%s\n", input.c_str());
        std::fflush(stdout);
        std::ifstream file(input, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
    }
    std::printf("%zu inputs\n", inputs.size());
    return inputs.empty() ? 1 : 0;
}
