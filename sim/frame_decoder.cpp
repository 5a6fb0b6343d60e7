// frame_decoder.cpp - hunting, collecting and judging the two copies of a command.
#include "frame_decoder.h"

#include <algorithm>

namespace korva::sim {

namespace {
constexpr std::uint8_t kSyncByte1 = 0x55;
constexpr std::uint8_t kSyncByte2 = 0xAA;
} // namespace

bool FrameDecoder::take(std::uint8_t byte)
{
    switch (fill_) {
    case kSync1:
        if (byte == kSyncByte1)
            pair_[fill_++] = byte;
        return true; // idle bytes between commands are skipped
    case kSync2:
        if (byte == kSyncByte2)
            pair_[fill_++] = byte;
        else if (byte != kSyncByte1)
            fill_ = 0;
        return true;
    case kFrameSize + kSync1:
    case kFrameSize + kSync2: {
        // The second copy must start where the first ended.
        const std::uint8_t expected = fill_ == kFrameSize ? kSyncByte1 : kSyncByte2;
        pair_[fill_++] = byte;
        return byte == expected;
    }
    default:
        pair_[fill_++] = byte;
        return true;
    }
}

void FrameDecoder::resync()
{
    // The held pair was contiguous in the stream; hunt again from its second byte on.
    std::array<std::uint8_t, kPairSize> held{};
    const std::size_t n = fill_ - 1;
    std::copy(pair_.begin() + 1, pair_.begin() + fill_, held.begin());
    fill_ = 0;
    // Fewer bytes than a whole pair are held, so no command completes here. A pair that
    // fails again among them is hunted through once more from its own second byte.
    for (std::size_t at = 0; at < n;) {
        if (take(held[at++]))
            continue;
        at = at - fill_ + 1;
        fill_ = 0;
    }
}

FrameDecoder::Verdict FrameDecoder::feed(std::uint8_t byte)
{
    if (!take(byte)) {
        resync();
        return Verdict::Bad;
    }
    if (fill_ < kPairSize)
        return Verdict::Pending;
    if (copies_agree()) {
        std::copy(pair_.begin(), pair_.begin() + kFrameSize, frame_.begin());
        fill_ = 0;
        return Verdict::Good;
    }
    resync();
    return Verdict::Bad;
}

bool FrameDecoder::copies_agree() const
{
    const std::uint8_t* first = pair_.data();
    const std::uint8_t* second = pair_.data() + kFrameSize;
    for (std::size_t i = 0; i < kCheck; ++i)
        if (first[i] != second[i])
            return false;
    if (second[kCheck] != static_cast<std::uint8_t>(~first[kCheck]))
        return false;
    std::uint8_t check = 0;
    for (std::size_t i = kCmd; i < kCheck; ++i)
        check ^= first[i];
    return check == first[kCheck];
}

} // namespace korva::sim
