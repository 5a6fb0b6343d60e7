// frame_decoder.cpp - hunting, collecting and judging the two copies of a command.
#include "frame_decoder.h"

namespace korva::sim {

namespace {
constexpr std::uint8_t kSyncByte1 = 0x55;
constexpr std::uint8_t kSyncByte2 = 0xAA;
} // namespace

void FrameDecoder::reset()
{
    state_ = State::Hunt;
    fill_ = 0;
}

void FrameDecoder::hunt(std::uint8_t byte)
{
    if (state_ == State::Hunt) {
        if (byte == kSyncByte1)
            state_ = State::HuntSecondSync;
        return;
    }
    // HuntSecondSync
    if (byte == kSyncByte2) {
        first_[kSync1] = kSyncByte1;
        first_[kSync2] = kSyncByte2;
        fill_ = 2;
        state_ = State::FirstCopy;
    } else if (byte != kSyncByte1) {
        state_ = State::Hunt;
    }
}

FrameDecoder::Verdict FrameDecoder::feed(std::uint8_t byte)
{
    switch (state_) {
    case State::Hunt:
    case State::HuntSecondSync:
        hunt(byte);
        return Verdict::Pending;

    case State::FirstCopy:
        first_[fill_++] = byte;
        if (fill_ == kFrameSize) {
            fill_ = 0;
            state_ = State::SecondCopy;
        }
        return Verdict::Pending;

    case State::SecondCopy:
        if ((fill_ == kSync1 && byte != kSyncByte1) || (fill_ == kSync2 && byte != kSyncByte2)) {
            // The second copy never started: the command is lost. The stray byte may
            // itself open the next command, so it goes to the hunt.
            reset();
            hunt(byte);
            return Verdict::Bad;
        }
        second_[fill_++] = byte;
        if (fill_ < kFrameSize)
            return Verdict::Pending;
        reset();
        return copies_agree() ? Verdict::Good : Verdict::Bad;
    }
    return Verdict::Pending;
}

bool FrameDecoder::copies_agree() const
{
    for (std::size_t i = 0; i < kCheck; ++i)
        if (first_[i] != second_[i])
            return false;
    if (second_[kCheck] != static_cast<std::uint8_t>(~first_[kCheck]))
        return false;
    std::uint8_t check = 0;
    for (std::size_t i = kCmd; i < kCheck; ++i)
        check ^= first_[i];
    return check == first_[kCheck];
}

} // namespace korva::sim
