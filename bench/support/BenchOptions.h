#pragma once
// The command lines of the benchmarks: each option in turn, its value, and the numbers they
// take, with the usage text of the benchmark at hand on any mistake. The simulator keeps its own
// parser on purpose: it is a shipped program with its man page, its exit codes and its own
// wording, which a developer's tool should not be able to change.

#include <cstdlib>
#include <optional>
#include <string>

namespace halvern::bench {

// Called with what is wrong (empty for --help); it prints the usage and ends the program.
using UsageFn = void (*)(const std::string& why);

class OptionCursor {
  public:
    OptionCursor(int argc, char** argv, UsageFn usage) : argc_(argc), argv_(argv), usage_(usage) {}
    // Moves to the next argument; false after the last.
    bool Next() {
        if (++i_ >= argc_)
            return false;
        arg_ = argv_[i_];
        return true;
    }
    const std::string& Arg() const { return arg_; }
    // The value the current option takes: the argument after it.
    std::string Value() {
        if (i_ + 1 >= argc_)
            usage_(arg_ + " needs a value");
        return argv_[++i_];
    }
    // A number from lo to hi, or the usage with `wants` ("--seconds wants ...").
    double Number(double lo, double hi, const std::string& wants) {
        const std::string text = Value();
        char* end = nullptr;
        const double v = text.empty() ? lo - 1 : std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !(v >= lo && v <= hi))
            usage_(arg_ + " wants " + wants);
        return v;
    }
    // A whole number from lo to hi, digits only.
    int Whole(int lo, int hi, const std::string& wants) {
        const std::string text = Value();
        char* end = nullptr;
        const long v = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
            *end != '\0' || v < lo || v > hi)
            usage_(arg_ + " wants " + wants);
        return static_cast<int>(v);
    }
    [[noreturn]] void Unknown() {
        usage_("unknown argument " + arg_);
        std::exit(2);
    }

  private:
    int argc_;
    char** argv_;
    UsageFn usage_;
    int i_ = 0;
    std::string arg_;
};

}  // namespace halvern::bench
