// CommPortNo.txt and CommTune2.txt as a technician's editor may leave them: the input is the
// whole file. Both files are read the way the program reads them at start-up, and the port
// field takes the same text as typed.

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

#include "Support.h"
#include "link/Link.h"
#include "link/LinkFiles.h"
#include "link/Tuning.h"

using namespace halvern;

namespace {

constexpr std::int16_t kCurrentPort = 7;

std::string Contents(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// A new file each time: rewriting an existing one in place makes ext4 flush it to disk on
// close, which would cost milliseconds an input.
void Store(const std::string& path, const std::string& text) {
    std::filesystem::remove(path);
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static fuzz::Scratch scratch("link_files");
    const std::string text(reinterpret_cast<const char*>(data), size);

    const auto first = FirstValue(text);
    FUZZ_CHECK(!first || std::isfinite(*first));
    if (const auto typed = ParseTypedPort(text))
        FUZZ_CHECK(*typed >= 1);

    // A file that holds no port number is left for the technician to see.
    const std::string portFile = scratch.File(kPortFile);
    Store(portFile, text);
    const std::int16_t port = LoadPortNumber(portFile, kCurrentPort);
    if (!first)
        FUZZ_CHECK(port == kCurrentPort);
    FUZZ_CHECK(Contents(portFile) == text);

    const std::string tuneFile = scratch.File(kTuneFile);
    Store(tuneFile, text);
    const double delay = LoadTurnaroundDelay(tuneFile);
    FUZZ_CHECK(delay >= 0 && delay <= std::numeric_limits<std::int32_t>::max());
    FUZZ_CHECK(TurnaroundMicros(delay) >= 0);
    FUZZ_CHECK(Contents(tuneFile) == text);
    return 0;
}
