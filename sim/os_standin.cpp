// os_standin.cpp - version, device files, device interfaces and message boxes.
#include "os_standin.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace korva::sim {

namespace {

constexpr std::uint32_t kPlatformNt = 2;

// Port-access driver device names (Windows 9x and NT flavours).
const char* const kDriverPaths[] = {"\\\\.\\KLEMAT.VXD", "\\\\.\\klemnt"};

const char* const kCardInterfaceClass = "{808abaf9-a78b-4eeb-80ca-8f0fa9a616b2}";

// Device names are compared as the system does: without regard to case.
bool same_name(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

void OsStandin::reset()
{
    platform_ = kPlatformNt;
    major_ = 5;
    minor_ = 1;
    driver_present_ = true;
    open_.clear();
    next_handle_ = 1;
    logging_ = true;
    messages_.clear();
    calls_.clear();
}

void OsStandin::set_version(std::uint32_t platform, std::uint32_t major, std::uint32_t minor)
{
    platform_ = platform;
    major_ = major;
    minor_ = minor;
}

void OsStandin::version(std::uint32_t* platform, std::uint32_t* major,
                        std::uint32_t* minor) const
{
    if (platform)
        *platform = platform_;
    if (major)
        *major = major_;
    if (minor)
        *minor = minor_;
}

std::string OsStandin::default_interface_path(std::uint32_t index, const PciIdentity& pci)
{
    char buf[128];
    std::snprintf(buf, sizeof buf, "\\\\?\\pci#ven_%04x&dev_%04x#%u#%s",
                  static_cast<unsigned>(pci.vendor_id), static_cast<unsigned>(pci.device_id),
                  static_cast<unsigned>(index), kCardInterfaceClass);
    return buf;
}

std::intptr_t OsStandin::open_device(const char* path, int write_access,
                                     const std::vector<SimCard>& cards)
{
    const std::string name = path ? path : "";
    bool exists = false;
    if (driver_present_)
        for (const char* driver : kDriverPaths)
            exists = exists || same_name(name, driver);
    for (const SimCard& card : cards)
        exists = exists || same_name(name, card.device_path);

    std::intptr_t handle = -1;
    if (exists && !name.empty()) {
        handle = next_handle_++;
        open_.insert(handle);
    }
    log_call("open " + name + " rw=" + std::to_string(write_access) + " -> " +
                std::to_string(handle));
    return handle;
}

void OsStandin::close_handle(std::intptr_t handle)
{
    open_.erase(handle);
    log_call("close " + std::to_string(handle));
}

void OsStandin::log_call(const std::string& line)
{
    if (logging_)
        calls_.push(line);
}

bool OsStandin::has_card_interface_class() const
{
    // The cards' driver registers its interface class on NT 5.0 and 5.1 only.
    return platform_ == kPlatformNt && major_ == 5 && (minor_ == 0 || minor_ == 1);
}

int OsStandin::find_card_interface(std::uint32_t index, char* path, std::size_t size,
                                   const std::vector<SimCard>& cards)
{
    const std::string prefix = "interface " + std::to_string(index) + " -> ";
    if (!has_card_interface_class() || index >= cards.size()) {
        log_call(prefix + "none");
        return 0;
    }
    const std::string& found = cards[index].device_path;
    log_call(prefix + found);
    if (path == nullptr || found.size() >= size)
        return 0;
    std::memcpy(path, found.c_str(), found.size() + 1);
    return 1;
}

void OsStandin::message_box(const char* text, const char* caption)
{
    if (logging_)
        messages_.push(std::string(caption ? caption : "") + ": " + (text ? text : ""));
}

std::uint32_t OsStandin::take_messages(char* text, std::uint32_t size)
{
    return take_lines(messages_, text, size);
}

std::uint32_t OsStandin::take_calls(char* text, std::uint32_t size)
{
    return take_lines(calls_, text, size);
}

} // namespace korva::sim
