// panel_traffic.cpp - event streams and harmless commands against a running panel.
#include "panel_traffic.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdlib>
#include <random>

namespace soak {

namespace {

using Clock = std::chrono::steady_clock;

std::uint64_t now_ms()
{
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
            .count());
}

constexpr std::size_t kRecentKept = 40;

} // namespace

PanelAddress parse_panel_url(const std::string& url)
{
    PanelAddress a;
    const auto colon = url.rfind(':'), at = url.find("/?token=");
    if (colon != std::string::npos && at != std::string::npos) {
        a.port = std::atoi(url.c_str() + colon + 1);
        a.token = url.substr(at + 8);
    }
    return a;
}

PanelTraffic::PanelTraffic(const PanelAddress& address, int streams, std::uint32_t seed)
    : address_(address), stream_count_(streams), seed_(seed)
{
}

void PanelTraffic::start()
{
    started_ms_ = now_ms();
    for (int i = 0; i < stream_count_; ++i)
        threads_.emplace_back([this, i] { follow_events(i); });
    threads_.emplace_back([this] { act(); });
}

void PanelTraffic::stop()
{
    stopping_ = true;
    for (std::thread& t : threads_)
        t.join();
    threads_.clear();
}

std::vector<std::string> PanelTraffic::recent() const
{
    std::lock_guard<std::mutex> lock(recent_mutex_);
    return {recent_.begin(), recent_.end()};
}

void PanelTraffic::note(const std::string& what, int status)
{
    std::lock_guard<std::mutex> lock(recent_mutex_);
    recent_.push_back("t=" + std::to_string(now_ms() - started_ms_) + " " + what + " -> " +
                      std::to_string(status));
    if (recent_.size() > kRecentKept)
        recent_.pop_front();
}

// A page following the event stream for a while, then another page in its place.
// Stream 0 reads slowly, as a browser on a busy machine would.
void PanelTraffic::follow_events(int which)
{
    std::mt19937 rng(seed_ + 1000u * static_cast<unsigned>(which + 1));
    const bool slow = which == 0;
    while (!stopping_) {
        httplib::Client client("127.0.0.1", address_.port);
        client.set_read_timeout(std::chrono::seconds(5));
        const auto until = Clock::now() + std::chrono::milliseconds(2000 + rng() % 18000);
        std::string pending;
        ++counts_.streams;
        client.Get(("/events?token=" + address_.token).c_str(),
                   [&](const char* data, std::size_t n) {
                       pending.append(data, n);
                       for (std::size_t end; (end = pending.find("\n\n")) != std::string::npos;) {
                           const std::string event = pending.substr(0, end);
                           pending.erase(0, end + 2);
                           if (event.rfind(": idle", 0) == 0)
                               continue;
                           ++counts_.events;
                           using nlohmann::json;
                           const auto j = event.rfind("data: ", 0) == 0
                                              ? json::parse(event.substr(6), nullptr, false)
                                              : json();
                           if (j.is_discarded() || !j.contains("state") ||
                               !j["state"].contains("cards") || !j["state"]["cards"].is_array())
                               ++counts_.bad_events;
                       }
                       if (slow)
                           std::this_thread::sleep_for(std::chrono::milliseconds(150));
                       return !stopping_ && Clock::now() < until;
                   });
    }
}

// A person at the panel: inputs flipped, the state and the page read, a few mistakes
// (a command the panel refuses, a request without the token). Never a switch, a fault or
// the emergency stop.
void PanelTraffic::act()
{
    std::mt19937 rng(seed_);
    httplib::Client client("127.0.0.1", address_.port);
    client.set_read_timeout(std::chrono::seconds(10));
    const std::string token = "token=" + address_.token;
    while (!stopping_) {
        const unsigned pick = rng() % 100;
        int status = -1, expected = 0;
        std::string what;
        if (pick < 55) {
            const unsigned bit = rng() % 8, on = rng() % 2;
            what = "input bit " + std::to_string(bit) + " on " + std::to_string(on);
            auto res = client.Post(("/command?" + token + "&card=0&do=input&bit=" +
                                    std::to_string(bit) + "&on=" + std::to_string(on))
                                       .c_str(),
                                   "", "text/plain");
            status = res ? res->status : -1;
            expected = 204;
            if (status == 204) {
                ++counts_.inputs;
                const auto mask = static_cast<std::uint8_t>(1u << bit);
                inputs_ = static_cast<std::uint8_t>(on ? (inputs_ | mask) : (inputs_ & ~mask));
            }
        } else if (pick < 85) {
            const bool state = pick < 75;
            what = state ? "GET /state" : "GET /";
            auto res = client.Get((state ? "/state?" : "/?") + token);
            status = res ? res->status : -1;
            expected = 200;
            if (status == 200 && state &&
                nlohmann::json::parse(res->body, nullptr, false).is_discarded())
                status = -2; // not JSON
            if (status == 200)
                ++counts_.reads;
        } else {
            const bool no_token = pick < 92;
            what = no_token ? "GET /state without token" : "input bit 9 (refused)";
            auto res = no_token ? client.Get("/state")
                                : client.Post(("/command?" + token + "&card=0&do=input&bit=9&on=1")
                                                  .c_str(),
                                              "", "text/plain");
            status = res ? res->status : -1;
            expected = no_token ? 403 : 400;
            if (status == expected)
                ++counts_.refusals;
        }
        if (status != expected)
            ++counts_.wrong_answers;
        note(what, status);
        std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 12));
    }
}

} // namespace soak
