#include "bus/request_pace.h"

#include <algorithm>

namespace quillon {

void RequestPace::Requested(uint32_t tick)
{
    if (!sent_) return;
    delays_[nextDelay_] = tick - *sent_;
    nextDelay_ = (nextDelay_ + 1) % delays_.size();
    delayCount_ = std::min(delayCount_ + 1, delays_.size());
}

std::optional<uint32_t> RequestPace::Expected() const
{
    if (delayCount_ == 0) return std::nullopt;
    return *std::min_element(delays_.begin(), delays_.begin() + delayCount_);
}

uint32_t RequestPace::PauseBeforePoll(uint32_t now, uint32_t waitStart,
                                      std::optional<uint32_t> lastPoll) const
{
    // A wait with no message before it runs from its own start.
    const uint32_t since = now - (sent_ ? *sent_ : waitStart);
    const std::optional<uint32_t> expected = Expected();
    if (!expected) return std::clamp<uint32_t>(since / 8, 1, kSlowestPollMilliseconds);
    // The margin covers a meter that is a little quicker than last time.
    const uint32_t margin = std::max<uint32_t>(2, *expected / 32);
    const uint32_t aim = *expected > margin ? *expected - margin : 0;
    if (since < aim) return aim - since;
    if (since <= *expected + margin) return lastPoll == now ? 1 : 0;
    return std::clamp<uint32_t>((since - *expected) / 4, 1, kSlowestPollMilliseconds);
}

}  // namespace quillon
