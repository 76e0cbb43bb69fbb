// One synchronous HTTP GET through libcurl, for the HTTP fetcher's worker
// thread. The call blocks the calling thread only; it never raises.
#pragma once
#include <atomic>
#include <cstddef>
#include <string>

// Bounds of every request, so a dead or hostile server can neither hold a
// worker forever nor fill memory.
struct THttpLimits {
    long ConnectMs = 10000;
    long TotalMs = 60000;
    size_t MaxBody = size_t{16} << 20;
};
THttpLimits GetHttpLimits();
// Test seam: shorter bounds for tests against a local server.
void SetHttpLimits(const THttpLimits& limits);

struct THttpReply {
    std::string Body;       // what arrived, at most MaxBody bytes; empty on an error status
    bool Complete = false;  // the whole body arrived with no failure
    long Status = 0;        // the last HTTP status, 0 when none came
};

// GET url; a reply with an error status (400 and up) is a failed request:
// its page is not the document asked for and is dropped. proxy_host empty
// means no proxy (the environment's proxy
// variables are ignored, so the game alone decides). Setting *cancel makes
// the transfer stop within a short while.
THttpReply HttpGet(const std::string& url, const std::string& proxy_host, const std::string& proxy_port,
                   const THttpLimits& limits, const std::atomic<bool>* cancel);
