// limits.h - what one client of the panel may cost it. The panel listens on loopback
// only, but any local process (or a page in any browser tab) can connect: none of them
// may keep the emergency stop from the person at the page, hold the panel's memory, or
// hold up KSIM_PANEL_STOP.
#ifndef KORVA_SIM_PANEL_LIMITS_H
#define KORVA_SIM_PANEL_LIMITS_H

#include <chrono>
#include <cstddef>

namespace korva::sim::panel {

// A request's line and headers: at most this many bytes, and this many header lines
// (a browser sends about 1 KB in 10 to 20 lines). More: 431, the connection closed.
inline constexpr std::size_t kMaxHeadBytes = 16 * 1024;
inline constexpr std::size_t kMaxHeaderLines = 64;
// The whole request (line, headers and body) must arrive within this time of the
// connection opening: 408 and closed otherwise. Connections still sending their request
// hold no thread (one thread watches them all) and at most kMaxWaiting of them are kept:
// beyond, every one is read first (a request already sent goes on), then those that sent
// nothing are closed, oldest first, then the oldest of the rest (503).
inline constexpr std::chrono::milliseconds kRequestDeadline{3000};
inline constexpr std::size_t kMaxWaiting = 128;
// A request's body (the page's commands have none): more is refused (413) unread. Without
// Content-Length a request has none (and is served at once).
inline constexpr std::size_t kMaxBodyBytes = 1024;
// Requests being served at once, each on a thread of its own (so no command ever waits
// behind an event stream): beyond, 503. The last of them are kept for what matters more:
// a request without the token in its request line is served only while fewer than
// kRoomWithoutToken are, one with it while fewer than kRoomWithToken, the emergency stop
// up to kMaxServing. Event streams (open pages) among them: beyond, 503.
inline constexpr std::size_t kMaxServing = 32;
inline constexpr std::size_t kRoomWithToken = 24;
inline constexpr std::size_t kRoomWithoutToken = 16;
inline constexpr std::size_t kMaxStreams = 8;
// A page that takes nothing from its event stream for this long loses the stream.
inline constexpr std::chrono::milliseconds kWriteTimeout{3000};

} // namespace korva::sim::panel

#endif
