#include "cli/CliBench.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "cli/Output.h"

namespace halvern::test {

CliBench::CliBench(sim::Bus bus) : folder(ScratchFolder("cli")) {
    simBus = std::make_unique<sim::SimBus>(plat, port, std::move(bus));
}

CliBench::~CliBench() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

CliRun CliBench::Run(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    cli::FailingOutput failing(outputErrno);
    if (outputErrno)
        out.std::ostream::rdbuf(&failing);
    cli::Tool tool(cli::Environment{
        plat, port, out, err, [](int n) { return "port" + std::to_string(n); },
        [this](const std::string& dataDir) { return dataDir.empty() ? folder : dataDir; },
        [this] { return ClockAt(plat.NowUs()); }, progress, [this] { return ports; },
        kCurrentFolder});
    if (beforeRun)
        beforeRun(tool);
    const int code = tool.Main(args);
    return {code, out.str(), err.str()};
}

CliRun CliBench::Cli(std::vector<std::string> args) {
    args.insert(args.begin(), {"--device", "sim"});
    return Run(args);
}

std::vector<std::vector<std::uint8_t>> CliBench::Written(std::size_t from, int function) const {
    std::vector<std::vector<std::uint8_t>> frames;
    const auto& all = port.Frames();
    for (std::size_t i = from; i < all.size(); ++i)
        if (function < 0 || (all[i].bytes.size() > 1 && all[i].bytes[1] == function))
            frames.push_back(all[i].bytes);
    return frames;
}

std::string CliBench::File(const std::string& name) const {
    std::ifstream in(std::filesystem::path(folder) / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

}  // namespace halvern::test
