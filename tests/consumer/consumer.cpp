// consumer.cpp - the same worked example from C++: KORVA3_INTP_LINE(card, 3, 4, 10) on the
// virtual card must send the slices (1,1,0), (1,2,0), (1,1,0).
#include <array>
#include <cstdio>
#include <vector>

#include <korva3.h>
#include <korva3_sim.h>

int main()
{
    using Slice = std::array<int, 3>;
    const std::vector<Slice> want{{1, 1, 0}, {1, 2, 0}, {1, 1, 0}};
    auto value = [](unsigned char hi, unsigned char lo) {
        int magnitude = (hi & 0x07) << 8 | lo;
        return (hi & 0x80) ? -magnitude : magnitude;
    };

    KSIM_RESET();
    KSIM_ADD_CARD(0, 3, KSIM_PCI_VENDOR, KSIM_PCI_DEVICE, KSIM_PCI_SUBVENDOR,
                  KSIM_PCI_SUBSYSTEM, 0);
    if (KORVA3_INITIAL() != 0 || KORVA3_REGISTRATION(0, 0) != 1) {
        std::printf("C++: no card\n");
        return 1;
    }
    std::array<unsigned char, 13 * 64> frames;
    KSIM_TAKE_FRAMES(0, frames.data(), 64); // registration's frames
    KORVA3_INTP_LINE(0, 3, 4, 10);
    std::vector<Slice> got;
    for (uint32_t i = 0, n = KSIM_TAKE_FRAMES(0, frames.data(), 64); i < n; i++) {
        const unsigned char *f = &frames[13 * i];
        if (f[2] == 0x10) // an interpolation slice
            got.push_back({value(f[3], f[4]), value(f[5], f[6]), value(f[7], f[8])});
    }
    std::printf("C++: slices");
    for (const Slice &s : got)
        std::printf(" (%d,%d,%d)", s[0], s[1], s[2]);
    std::printf(": %s\n", got == want ? "ok" : "WRONG, want (1,1,0) (1,2,0) (1,1,0)");
    KORVA3_END();
    return got == want ? 0 : 1;
}
