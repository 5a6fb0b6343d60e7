// status_stream_fuzz.cpp - libFuzzer target: arbitrary bytes in the card's output
// mailbox, read by KORVA3_GET_CARD in arbitrary pieces. The readers must hold what a
// reference decoder of the frame format finds, after every piece.
//
// Input: records of [n][n % 97 bytes]: each record's bytes are offered by the card, then
// one KORVA3_GET_CARD reads them.
#include <cstdio>
#include <cstdlib>

#include "korva3.h"
#include "korva3_sim.h"
#include "status_reference.h"

namespace {

StatusFields library_fields()
{
    StatusFields f;
    f.sys = KORVA3_GET_SYS(0);
    f.limit = KORVA3_GET_LIMIT(0);
    f.p1 = KORVA3_GET_P1(0);
    f.values = {KORVA3_GET_XC(0), KORVA3_GET_XP(0), KORVA3_GET_YC(0),
                KORVA3_GET_YP(0), KORVA3_GET_ZC(0), KORVA3_GET_ZP(0)};
    return f;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    KSIM_RESET();
    KSIM_SET_SLICE_PERIOD_US(-1, 0);
    KSIM_SET_STATUS_PERIOD_MS(-1, 0); // only the fuzzer's bytes reach the mailbox
    KSIM_SET_LOGGING(0);
    KSIM_ADD_CARD(0, 1, KSIM_PCI_VENDOR, KSIM_PCI_DEVICE, KSIM_PCI_SUBVENDOR,
                  KSIM_PCI_SUBSYSTEM, 0);
    KORVA3_INITIAL();
    if (KORVA3_REGISTRATION(0, 0) != 1)
        std::abort();

    StatusReference reference;
    size_t at = 0;
    while (at < size) {
        size_t n = data[at++] % 97;
        if (n > size - at)
            n = size - at;
        KSIM_OFFER(0, data + at, static_cast<uint32_t>(n));
        reference.read(data + at, n);
        at += n;
        const uint32_t status = KORVA3_GET_CARD(0);
        if (status & 0x04) {
            std::fprintf(stderr, "KORVA3_GET_CARD returned with bytes still waiting\n");
            std::abort();
        }
        if (!(library_fields() == reference.fields())) {
            std::fprintf(stderr, "readers differ from the reference decoder after %zu bytes\n", at);
            std::abort();
        }
    }
    return 0;
}
