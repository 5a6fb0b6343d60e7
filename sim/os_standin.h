// os_standin.h - the operating system as the library sees it: its version, the device
// files it can open (the port-access driver and the cards' device interfaces), the
// device-interface class of the cards, and message boxes.
#ifndef KORVA_SIM_OS_STANDIN_H
#define KORVA_SIM_OS_STANDIN_H

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "bounded_log.h"
#include "card.h"

namespace korva::sim {

class OsStandin {
public:
    OsStandin() { reset(); }

    // Platform 2 (NT family) version 5.1, driver present, no handles, logs empty.
    void reset();

    void set_version(std::uint32_t platform, std::uint32_t major, std::uint32_t minor);
    void version(std::uint32_t* platform, std::uint32_t* major, std::uint32_t* minor) const;
    void set_driver_present(bool present) { driver_present_ = present; }

    std::intptr_t open_device(const char* path, int write_access,
                              const std::vector<SimCard>& cards);
    void close_handle(std::intptr_t handle);
    std::uint32_t open_handles() const { return static_cast<std::uint32_t>(open_.size()); }

    int find_card_interface(std::uint32_t index, char* path, std::size_t size,
                            const std::vector<SimCard>& cards);

    void message_box(const char* text, const char* caption);

    // Whether OS calls and message boxes are logged (on after reset()).
    void set_logging(bool on) { logging_ = on; }

    std::uint32_t take_messages(char* text, std::uint32_t size);
    std::uint32_t take_calls(char* text, std::uint32_t size);

    // The path the device interface of the index-th card has unless a test replaced it.
    static std::string default_interface_path(std::uint32_t index, const PciIdentity& pci);

private:
    bool has_card_interface_class() const;
    void log_call(const std::string& line);

    std::uint32_t platform_ = 0;
    std::uint32_t major_ = 0;
    std::uint32_t minor_ = 0;
    bool driver_present_ = true;
    std::set<std::intptr_t> open_;
    std::intptr_t next_handle_ = 1;
    bool logging_ = true;
    LineLog messages_;
    LineLog calls_;
};

} // namespace korva::sim

#endif
