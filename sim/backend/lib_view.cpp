/*
 * lib_view.cpp - the library's own variables, read by name for the virtual machine's
 * control interface (KSIM_LIB_*), and the card numbers the library has bound, for the
 * front panel (lib_view.h). Only korva32sim carries this view.
 */
#include "backend/lib_view.h"

#include <math.h>
#include <string.h>

#include "card/pci_scan.h"
#include "korva3_sim.h"
#include "link/command_frame.h"
#include "machine_loader.h"
#include "state/card_table.h"
#include "state/intp_state.h"
#include "state/motion_vars.h"
#include "state/step_request.h"
#include "state/system_state.h"

namespace {

struct U32View {
    const char *name;
    uint32_t (*get)(uint32_t index);
};

const CARD_RECORD &rec(uint32_t i) { return card_table[i % CARD_COUNT]; }

const U32View U32_VIEWS[] = {
    {"io_base", [](uint32_t i) -> uint32_t { return rec(i).io_base; }},
    {"link_ok", [](uint32_t i) -> uint32_t { return rec(i).link_ok; }},
    {"do_shadow", [](uint32_t i) -> uint32_t { return rec(i).do_shadow.load(std::memory_order_relaxed); }},
    {"seq", [](uint32_t i) -> uint32_t { return rec(i).seq.load(std::memory_order_relaxed); }},
    {"rx_prev", [](uint32_t i) -> uint32_t { return rec(i).rx_prev; }},
    {"rx_last", [](uint32_t i) -> uint32_t { return rec(i).rx_last; }},
    {"link_waited", [](uint32_t) -> uint32_t { return link_waited.load(); }},
    {"step_mode", [](uint32_t) -> uint32_t { return step_request.step_mode.load(); }},
    {"engine_phase", [](uint32_t) -> uint32_t { return intp.engine_phase; }},
    {"intp_enabled", [](uint32_t) -> uint32_t { return intp_enabled.load(); }},
    {"phase", [](uint32_t) -> uint32_t { return intp.phase; }},
    {"total_length", [](uint32_t) -> uint32_t { return intp.total_length; }},
    {"remaining", [](uint32_t) -> uint32_t { return intp.remaining; }},
    {"step", [](uint32_t) -> uint32_t { return intp.step; }},
    {"decelerating", [](uint32_t) -> uint32_t { return intp.decelerating; }},
    {"travelled", [](uint32_t) -> uint32_t { return intp.travelled; }},
    {"card_var", [](uint32_t) -> uint32_t { return motion_vars.card_var; }},
    {"accel", [](uint32_t) -> uint32_t { return motion_vars.accel; }},
    {"start_speed", [](uint32_t) -> uint32_t { return motion_vars.start_speed; }},
    {"high_speed", [](uint32_t) -> uint32_t { return motion_vars.high_speed; }},
    {"spare_var", [](uint32_t) -> uint32_t { return motion_vars.spare_var; }},
    {"pci_count", [](uint32_t) -> uint32_t { return pci_count; }},
    {"pci_scanned", [](uint32_t) -> uint32_t { return pci_scanned; }},
    {"driver_open", [](uint32_t) -> uint32_t { return driver_handle != PLAT_INVALID_HANDLE; }},
    {"os_platform", [](uint32_t) -> uint32_t { return os_platform; }},
    {"os_major", [](uint32_t) -> uint32_t { return os_major; }},
    {"os_minor", [](uint32_t) -> uint32_t { return os_minor; }},
};

struct F64View {
    const char *name;
    const double *field;
};

const F64View F64_VIEWS[] = {
    {"path_length", &intp.path_length},
    {"path_radius", &intp.path_radius},
    {"path_angle", &intp.path_angle},
    {"central_angle", &intp.central_angle},
    {"chord_angle", &intp.chord_angle},
    {"chord_radius_angle", &intp.chord_radius_angle},
    {"arc_center_u", &intp.arc_center_u},
    {"arc_center_v", &intp.arc_center_v},
    {"target_u", &intp.target_u},
    {"target_v", &intp.target_v},
    {"target_w", &intp.target_w},
    {"ideal_u", &intp.ideal_u},
    {"ideal_v", &intp.ideal_v},
    {"ideal_w", &intp.ideal_w},
    {"sent_u", &intp.sent_u},
    {"sent_v", &intp.sent_v},
    {"sent_w", &intp.sent_w},
};

} // namespace

int korva::sim::lib_card_number(std::uint32_t io_base)
{
    for (std::uint32_t n = 0; n < CARD_COUNT && io_base != 0; ++n)
        if (card_table[n].io_base == io_base)
            return static_cast<int>(n);
    return -1;
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KSIM_LIB_VALUE(const char *name, uint32_t index)
{
    korva::sim::ksim_enter();
    if (name)
        for (const U32View &v : U32_VIEWS)
            if (strcmp(v.name, name) == 0)
                return v.get(index);
    return 0xFFFFFFFFu;
}

extern "C" KORVA3_API double KORVA3_CALL KSIM_LIB_DOUBLE(const char *name)
{
    korva::sim::ksim_enter();
    if (name)
        for (const F64View &v : F64_VIEWS)
            if (strcmp(v.name, name) == 0)
                return *v.field;
    return NAN;
}

extern "C" KORVA3_API uint32_t KORVA3_CALL KSIM_LIB_PCI_ENTRY(uint32_t index, uint32_t *out)
{
    korva::sim::ksim_enter();
    uint32_t e[8];
    uint32_t r = GET_PCI_CARD(index, &e[0], &e[1], &e[2], &e[3], &e[4], &e[5], &e[6], &e[7]);
    if (r == PCI_OK && out)
        memcpy(out, e, sizeof e);
    return r;
}
