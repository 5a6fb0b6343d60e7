// lib_view.h - the library's own variables as the virtual machine's parts read them
// without a KSIM_ call (lib_view.cpp also answers KSIM_LIB_VALUE and KSIM_LIB_DOUBLE).
#ifndef KORVA_SIM_LIB_VIEW_H
#define KORVA_SIM_LIB_VIEW_H

#include <cstdint>

namespace korva::sim {

// The card number (0..15) the library has bound to the card whose I/O base is io_base,
// or -1 when none is (io_base 0 never matches). Reads the library's card table as it
// stands and enters no KSIM_ function, so a program's machine is left as it is (the
// front panel's emergency stop finds its card number here).
int lib_card_number(std::uint32_t io_base);

} // namespace korva::sim

#endif
