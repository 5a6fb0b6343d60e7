// server_httplib.cpp - the panel's web server (cpp-httplib): one page, its event stream
// and its commands, on 127.0.0.1 only. Every request must carry the token of the printed
// address and come from the panel's own origin. How much any client may cost it:
// limits.h, enforced by the GuardedServer (ranges, bodies and their kinds refused before
// cpp-httplib parses them: request_head.h) and the checks before routing.
//
// A collector thread takes the machine's snapshots from the hub (at most every 30 ms),
// keeps each card's XY path, and wakes the pages' event streams; a slow or absent page
// costs the machine nothing.
#include <httplib.h>

#include <condition_variable>
#include <memory>
#include <random>
#include <thread>

#include <nlohmann/json.hpp>

#include "guarded_server.h"
#include "hub.h"
#include "job_board.h"
#include "limits.h"
#include "operator_requests.h"
#include "page.h"
#include "quiet_thread.h"
#include "requests.h"
#include "server.h"

namespace korva::sim::panel {

namespace {

using nlohmann::json;

// Path points kept per card; beyond it every other point is dropped.
constexpr std::size_t kMaxHistory = 40000;

std::string random_token()
{
    std::random_device rd;
    static const char kHex[] = "0123456789abcdef";
    std::string t;
    for (int i = 0; i < 8; ++i) {
        std::uint32_t v = rd();
        for (int k = 0; k < 4; ++k, v >>= 8) {
            t += kHex[(v >> 4) & 0xF];
            t += kHex[v & 0xF];
        }
    }
    return t;
}

// Compares without stopping at the first difference.
bool same_secret(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
        return false;
    unsigned diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

// Whether the request line's query has `param` ("name=value") as one of its parameters.
bool has_param(std::string_view line, std::string_view param)
{
    const std::string_view target = line.substr(0, line.rfind(' '));
    for (std::size_t at = target.find(param); at != std::string_view::npos;
         at = target.find(param, at + 1)) {
        const std::size_t end = at + param.size();
        if (at > 0 && (target[at - 1] == '?' || target[at - 1] == '&') &&
            (end == target.size() || target[end] == '&'))
            return true;
    }
    return false;
}

json card_json(const CardSnapshot& c)
{
    const ControllerView& v = c.view;
    return json{{"bus", c.bus},
                {"device", c.device},
                {"id", c.id_switch},
                {"io", c.io_base},
                {"pos", {v.commanded[0], v.commanded[1], v.commanded[2]}},
                {"act", {v.actual[0], v.actual[1], v.actual[2]}},
                {"estop", v.estop},
                {"status", v.status},
                {"limits", v.limits},
                {"held", {v.held[0], v.held[1], v.held[2]}},
                {"inputs", v.inputs},
                {"outputs", v.outputs},
                {"faults", v.faults},
                {"last", v.last_command},
                {"link", v.link_answers},
                {"queued", v.queued},
                {"queue_size", v.queue_size},
                {"frames", v.commands},
                {"bad", v.bad_commands},
                {"resets", v.resets}};
}

class PanelServer {
public:
    std::int32_t start(std::uint32_t port, std::string& url, std::string& error);
    void stop();

private:
    // What one page's event stream has sent so far.
    struct Cursor {
        std::uint64_t version = 0;
        std::uint64_t generation = ~std::uint64_t{0};
        std::vector<std::size_t> sent;
        std::uint64_t plan = ~std::uint64_t{0}; // the job's description last sent
    };

    bool allowed(const httplib::Request& req) const;
    void routes();
    void collect();
    std::string next_event(Cursor& cursor); // with mutex_ held

    GuardedServer http_;
    std::thread collector_;
    std::string token_, origin_, origin_named_, host_, host_named_;

    std::mutex mutex_; // guards everything below
    std::condition_variable changed_;
    bool stopping_ = false;
    std::size_t streams_ = 0; // event streams open
    std::uint64_t version_ = 0;
    std::uint64_t generation_ = 0; // bumped when the paths start again or are thinned
    std::uint32_t epoch_ = 0;
    std::string state_;
    std::vector<std::vector<PathPoint>> paths_;
    std::uint64_t plan_generation_ = 0; // the running job's description, sent once a page
    std::string plan_ = "null";
};

bool PanelServer::allowed(const httplib::Request& req) const
{
    const std::string host = req.get_header_value("Host");
    if (host != host_ && host != host_named_)
        return false; // another name for this address: a rebinding page
    if (req.has_header("Origin")) {
        const std::string origin = req.get_header_value("Origin");
        if (origin != origin_ && origin != origin_named_)
            return false;
    }
    return same_secret(req.get_param_value("token"), token_);
}

std::int32_t PanelServer::start(std::uint32_t port, std::string& url, std::string& error)
{
    if (port > 65535) {
        error = "port " + std::to_string(port) + " is not a port (0..65535)";
        return -1;
    }
    const int bound = http_.bind_loopback(port);
    if (bound <= 0) {
        error = "cannot listen on 127.0.0.1:" + std::to_string(port) + " (in use?)";
        return -1;
    }
    token_ = random_token();
    host_ = "127.0.0.1:" + std::to_string(bound);
    host_named_ = "localhost:" + std::to_string(bound);
    origin_ = "http://" + host_;
    origin_named_ = "http://" + host_named_;
    routes();
    // The emergency stop is served while anything is; the page's other requests while
    // fewer than kRoomWithToken are; anyone else's while fewer than kRoomWithoutToken.
    http_.set_room([mark = "token=" + token_](std::string_view line) {
        if (!has_param(line, mark))
            return kRoomWithoutToken;
        const bool estop = line.rfind("POST /command?", 0) == 0 && has_param(line, "do=estop");
        return estop ? kMaxServing : kRoomWithToken;
    });
    if (!http_.start()) {
        error = "cannot start the panel's threads";
        return -1;
    }
    collector_ = start_quiet_thread([this] { collect(); });
    url = origin_ + "/?token=" + token_;
    return bound;
}

void PanelServer::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    http_.stop();
    if (collector_.joinable())
        collector_.join();
}

void PanelServer::routes()
{
    http_.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        res.set_header("Cache-Control", "no-store");
        res.set_header("Referrer-Policy", "no-referrer");
        if (allowed(req))
            return httplib::Server::HandlerResponse::Unhandled;
        res.status = 403;
        res.set_content("forbidden: open the address the program printed, token and all\n",
                        "text/plain");
        return httplib::Server::HandlerResponse::Handled;
    });
    http_.Get("/", [](const httplib::Request&, httplib::Response& res) {
        res.set_header("Content-Security-Policy",
                       "default-src 'none'; script-src 'unsafe-inline'; style-src "
                       "'unsafe-inline'; connect-src 'self'; img-src 'self'");
        res.set_header("X-Frame-Options", "DENY");
        static const std::string page = page_text();
        res.set_content(page, "text/html; charset=utf-8");
    });
    http_.Get("/state", [this](const httplib::Request&, httplib::Response& res) {
        std::lock_guard<std::mutex> lock(mutex_);
        res.set_content(state_.empty() ? "{}" : state_, "application/json");
    });
    http_.Get("/events", [this](const httplib::Request&, httplib::Response& res) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (streams_ >= kMaxStreams) {
                res.status = 503;
                res.set_content("too many pages open on this panel: close one\n", "text/plain");
                return;
            }
            ++streams_;
        }
        auto cursor = std::make_shared<Cursor>();
        res.set_chunked_content_provider(
            "text/event-stream", [this, cursor](std::size_t, httplib::DataSink& sink) {
                std::string event;
                {
                    std::unique_lock<std::mutex> lock(mutex_);
                    changed_.wait_for(lock, std::chrono::seconds(1), [&] {
                        return stopping_ || version_ != cursor->version;
                    });
                    if (stopping_)
                        return false;
                    event = version_ != cursor->version ? next_event(*cursor) : ": idle\n\n";
                }
                return sink.write(event.data(), event.size());
            },
            [this](bool) {
                std::lock_guard<std::mutex> lock(mutex_);
                --streams_;
            });
    });
    http_.Post("/command", [this](const httplib::Request& req, httplib::Response& res) {
        std::string why;
        res.status = run_command(req, why);
        if (!why.empty())
            res.set_content(why + "\n", "text/plain");
    });
}

// One event: the cards' state and, per card, the path points this page has not had.
std::string PanelServer::next_event(Cursor& cursor)
{
    json paths = json::array();
    const bool restart = cursor.generation != generation_;
    if (restart)
        cursor.sent.assign(paths_.size(), 0);
    cursor.sent.resize(paths_.size(), 0);
    for (std::size_t i = 0; i < paths_.size(); ++i) {
        json points = json::array();
        for (std::size_t k = cursor.sent[i]; k < paths_[i].size(); ++k)
            points.push_back({paths_[i][k].x, paths_[i][k].y});
        cursor.sent[i] = paths_[i].size();
        paths.push_back(std::move(points));
    }
    cursor.generation = generation_;
    cursor.version = version_;
    json event{{"restart", restart}, {"paths", std::move(paths)}};
    std::string text = event.dump();
    // The state and the job's description are already JSON: put them in as they are.
    text.pop_back();
    if (cursor.plan != plan_generation_) {
        cursor.plan = plan_generation_;
        text += ",\"plan\":" + plan_;
    }
    return "data: " + text + ",\"state\":" + state_ + "}\n\n";
}

void PanelServer::collect()
{
    Snapshot snap;
    std::uint64_t plan_generation = 0;
    std::string plan, job_state;
    json job_now; // the job's last state, parsed
    std::uint32_t job_controls = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (changed_.wait_for(lock, kPublishEvery, [&] { return stopping_; }))
                return;
        }
        if (!hub().take(snap))
            continue;
        json cards = json::array();
        for (const CardSnapshot& c : snap.cards)
            cards.push_back(card_json(c));
        const std::uint64_t had_plan = plan_generation;
        if (job_board().take(plan_generation, plan, job_state, job_controls))
            job_now = json::parse(job_state, nullptr, false); // text that is no JSON: null
        if (job_now.is_discarded())
            job_now = nullptr;
        const std::string state =
            json{{"clock_ms", snap.clock_ms},
                 {"operator", operator_json(snap.cards.size())},
                 {"cards", std::move(cards)},
                 {"job", {{"plan", plan_generation}, {"controls", job_controls}, {"now", job_now}}}}
                .dump();
        const bool plan_new = plan_generation != had_plan;
        const bool plan_good = plan_new && json::accept(plan);

        std::lock_guard<std::mutex> lock(mutex_);
        bool changed = state != state_;
        if (plan_new) {
            plan_generation_ = plan_generation;
            plan_ = plan_good ? plan : "null";
        }
        if (snap.epoch != epoch_) {
            epoch_ = snap.epoch;
            paths_.clear();
            ++generation_;
            changed = true;
        }
        paths_.resize(snap.cards.size());
        for (std::size_t i = 0; i < snap.new_points.size() && i < paths_.size(); ++i) {
            auto& path = paths_[i];
            if (snap.new_points[i].empty())
                continue;
            path.insert(path.end(), snap.new_points[i].begin(), snap.new_points[i].end());
            changed = true;
            if (path.size() > kMaxHistory) { // keep the shape and the end, half the points
                const PathPoint last = path.back();
                std::size_t w = 0;
                for (std::size_t r = 0; r < path.size(); r += 2)
                    path[w++] = path[r];
                path.resize(w);
                path.back() = last;
                ++generation_;
            }
        }
        if (changed) {
            state_ = state;
            ++version_;
            changed_.notify_all();
        }
    }
}

std::unique_ptr<PanelServer>& server()
{
    static auto* s = new std::unique_ptr<PanelServer>;
    return *s;
}

} // namespace

std::int32_t server_start(std::uint32_t port, std::string& url, std::string& error)
{
    auto s = std::make_unique<PanelServer>();
    const std::int32_t bound = s->start(port, url, error);
    if (bound >= 0)
        server() = std::move(s);
    return bound;
}

void server_stop()
{
    if (server()) {
        server()->stop();
        server().reset();
    }
}

bool server_available() { return true; }

} // namespace korva::sim::panel
