// description_fuzz.cpp - libFuzzer target: arbitrary bytes as a machine description,
// through the checks in front of toml11 (common/toml_file.cpp) and the description
// reader. Invariants: nothing crashes, overflows or leaks; a description is either
// taken whole (1 to 16 cards, each ID 0..15) or refused with "fuzz.toml:LINE: ..."
// where LINE is a line of the text (or the one after it, where toml11 found the end).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "machine_description.h"

using namespace korva::sim;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    MachineDescription desc;
    std::string error;
    if (parse_machine_description("fuzz.toml", text, desc, error)) {
        if (desc.cards.empty() || desc.cards.size() > 16)
            std::abort();
        for (const CardDescription &c : desc.cards)
            if (c.id_switch > 15)
                std::abort();
        return 0;
    }
    std::size_t lines = 2; // toml11 ends the text with a line break of its own
    for (char c : text)
        lines += c == '\n';
    const std::string head = "fuzz.toml:";
    if (error.rfind(head, 0) != 0)
        std::abort();
    const std::size_t line = std::strtoul(error.c_str() + head.size(), nullptr, 10);
    if (line > lines)
        std::abort();
    return 0;
}
