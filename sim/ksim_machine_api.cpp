// ksim_machine_api.cpp - the KSIM_ functions of the described machine: building it from
// a description, and the clock mode.
#include "korva3_sim.h"

#include <cstring>
#include <string>

#include "ksim_entry.h"

using korva::sim::Machine;
using korva::sim::entry::with_machine;

extern "C" KORVA3_API uint32_t KORVA3_CALL KSIM_LOAD_MACHINE(const char* path, char* error,
                                                            uint32_t size)
{
    korva::sim::ksim_enter();
    std::string message;
    const bool ok = korva::sim::load_machine(path, message);
    if (error != nullptr && size > 0) {
        const std::size_t n = std::min<std::size_t>(message.size(), size - 1);
        std::memcpy(error, message.data(), n);
        error[n] = '\0';
    }
    return ok ? 1 : 0;
}

extern "C" KORVA3_API void KORVA3_CALL KSIM_SET_CLOCK(uint32_t mode, uint32_t speed_milli)
{
    with_machine([&](Machine& vm) {
        vm.set_wall_clock(mode == KSIM_CLOCK_WALL, speed_milli ? speed_milli / 1000.0 : 1.0);
    });
}
