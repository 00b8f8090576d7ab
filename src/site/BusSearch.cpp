#include "site/BusSearch.h"

#include <algorithm>

namespace halvern {

BusSearch::BusSearch(int from, int to)
    : from_(std::clamp(from, 0, 255)), to_(std::clamp(to, from_, 255)), next_(from_) {}

std::optional<std::uint8_t> BusSearch::Next(const std::function<bool(std::uint8_t)>& polled) const {
    for (int i = 0; i < Total(); ++i) {
        const int a = from_ + (next_ - from_ + i) % Total();
        if (!polled(static_cast<std::uint8_t>(a)))
            return static_cast<std::uint8_t>(a);
    }
    return std::nullopt;
}

void BusSearch::Asked(std::uint8_t address) {
    ++asked_;
    if (address < next_)
        ++passes_;  // the polled ones at the end were passed over
    next_ = address + 1;
    if (next_ > to_) {
        next_ = from_;
        ++passes_;
    }
}

int BusSearch::PerRound(Micros roundUs, int unpolled) {
    if (unpolled <= 0)
        return 0;
    // A pass asks `unpolled` addresses over unpolled / n rounds.
    const Micros n =
        (static_cast<Micros>(unpolled) * std::max<Micros>(roundUs, 0) + kSearchPassUs - 1) /
        kSearchPassUs;
    return static_cast<int>(std::clamp<Micros>(n, 1, unpolled));
}

std::string BusSearch::Text() const {
    return std::string(passes_ == 0 ? "searching the bus" : "searching the bus again") +
           ": address " + std::to_string(next_) + " of " + std::to_string(Total());
}

}  // namespace halvern
