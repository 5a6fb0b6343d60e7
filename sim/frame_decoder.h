// frame_decoder.h - the controller's command receiver.
//
// A command arrives as 26 bytes: the 13-byte frame 55 AA cmd p1..p8 seq check, with
// check = seq ^ cmd ^ p1 ^ .. ^ p8, then the same first 12 bytes again followed by
// ~check. The receiver hunts for 55 AA (so idle bytes between commands are skipped),
// takes 13 bytes as the first copy and the next 13 as the second, and judges the pair.
//
// A pair that fails (a command torn by a reset, a byte lost or corrupted) costs that
// command only: the receiver hunts again from the byte after the failed pair's first
// sync byte, through the bytes it already holds, so it finds the next command's sync
// pair even when it lay inside the failed pair.
#ifndef KORVA_SIM_FRAME_DECODER_H
#define KORVA_SIM_FRAME_DECODER_H

#include <array>
#include <cstddef>
#include <cstdint>

namespace korva::sim {

inline constexpr std::size_t kFrameSize = 13;
using Frame = std::array<std::uint8_t, kFrameSize>;

// Byte positions inside a frame.
enum FrameByte : std::size_t {
    kSync1 = 0,
    kSync2 = 1,
    kCmd = 2,
    kP1 = 3, // p1..p8 at 3..10
    kSeq = 11,
    kCheck = 12
};

class FrameDecoder {
public:
    enum class Verdict { Pending, Good, Bad };

    // Takes one byte from the host. Good: frame() holds the command's first copy.
    Verdict feed(std::uint8_t byte);

    const Frame& frame() const { return frame_; }

    // Forgets any partial command and goes back to hunting for 55 AA.
    void reset() { fill_ = 0; }

private:
    static constexpr std::size_t kPairSize = 2 * kFrameSize;

    // One byte into the pair being collected; false when the pair has failed.
    bool take(std::uint8_t byte);
    bool copies_agree() const;
    // Hunts again through the held bytes after the failed pair's first sync byte.
    void resync();

    std::array<std::uint8_t, kPairSize> pair_{}; // both copies as they arrived
    std::size_t fill_ = 0;                       // bytes of pair_ held
    Frame frame_{};                              // the last good command
};

} // namespace korva::sim

#endif
