// status_reference.h - a small decoder of the card's status byte stream, written from
// the frame format alone, that the fuzz target holds the library's reader against.
//
// Format: the sync pair 55 AA, then 32 bytes: system, limit, P1, four kept bytes, six
// big-endian signed 32-bit values (xc xp yc yp zc zp), and the XOR of bytes 0..30. The
// pair is looked for across the whole stream, also split between two reads. A frame
// whose bytes stop coming part-way is dropped; the reader then stands just after the
// sync pair again.
#ifndef KORVA_FUZZ_STATUS_REFERENCE_H
#define KORVA_FUZZ_STATUS_REFERENCE_H

#include <array>
#include <cstddef>
#include <cstdint>

struct StatusFields {
    uint32_t sys = 0, limit = 0, p1 = 0;
    std::array<int32_t, 6> values{};
    bool operator==(const StatusFields &o) const
    {
        return sys == o.sys && limit == o.limit && p1 == o.p1 && values == o.values;
    }
};

class StatusReference {
public:
    // One read of the mailbox that finds exactly these bytes waiting.
    void read(const uint8_t *bytes, size_t n)
    {
        size_t i = 0;
        while (i < n) {
            const uint8_t b = bytes[i++];
            const bool sync = previous_ == 0x55 && b == 0xAA;
            previous_ = b;
            if (!sync)
                continue;
            if (n - i < kLength) { // stops part-way: dropped with what is left
                return;
            }
            take(bytes + i);
            i += kLength;
        }
    }

    const StatusFields &fields() const { return fields_; }

private:
    static constexpr size_t kLength = 32;

    void take(const uint8_t *f)
    {
        uint8_t x = 0;
        for (size_t k = 0; k < kLength - 1; k++)
            x ^= f[k];
        if (x != f[kLength - 1])
            return;
        fields_.sys = f[0];
        fields_.limit = f[1];
        fields_.p1 = f[2];
        for (size_t v = 0; v < 6; v++) {
            const uint8_t *p = f + 7 + 4 * v;
            fields_.values[v] = static_cast<int32_t>(uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 |
                                                     uint32_t{p[2]} << 8 | p[3]);
        }
    }

    uint8_t previous_ = 0;
    StatusFields fields_;
};

#endif
