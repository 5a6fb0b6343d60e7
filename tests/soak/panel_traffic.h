// panel_traffic.h - a front panel kept busy while paths run: pages following its event
// stream (one of them slow), and a person flipping the digital inputs and reading the
// state, as the page does it, over the panel's HTTP interface. Nothing it sends may
// change a path: no switch, no fault, no emergency stop.
#ifndef KORVA_SOAK_PANEL_TRAFFIC_H
#define KORVA_SOAK_PANEL_TRAFFIC_H

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace soak {

// The panel's port and token, from its printed address ("http://127.0.0.1:PORT/?token=T").
struct PanelAddress {
    int port = 0;
    std::string token;
};
PanelAddress parse_panel_url(const std::string& url);

struct TrafficCounts {
    std::atomic<std::uint64_t> events{0};        // server-sent events received
    std::atomic<std::uint64_t> streams{0};       // event streams opened
    std::atomic<std::uint64_t> inputs{0};        // input flips answered 204
    std::atomic<std::uint64_t> reads{0};         // /state and / answered 200
    std::atomic<std::uint64_t> refusals{0};      // bad commands and missing tokens refused
    std::atomic<std::uint64_t> wrong_answers{0}; // any answer other than the expected one
    std::atomic<std::uint64_t> bad_events{0};    // events that were not the state JSON
};

class PanelTraffic {
public:
    PanelTraffic(const PanelAddress& address, int streams, std::uint32_t seed);
    ~PanelTraffic() { stop(); }
    void start();
    void stop();

    // The digital inputs as the last flip left them (read once the traffic has stopped).
    std::uint8_t inputs() const { return inputs_.load(); }
    const TrafficCounts& counts() const { return counts_; }
    // The last commands sent, oldest first, each "t=<ms since start> <what> -> <status>".
    std::vector<std::string> recent() const;

private:
    void follow_events(int which);
    void act();
    void note(const std::string& what, int status);

    PanelAddress address_;
    int stream_count_;
    std::uint32_t seed_;
    std::atomic<bool> stopping_{false};
    std::atomic<std::uint8_t> inputs_{0};
    std::vector<std::thread> threads_;
    TrafficCounts counts_;
    mutable std::mutex recent_mutex_;
    std::deque<std::string> recent_;
    std::uint64_t started_ms_ = 0;
};

} // namespace soak

#endif
