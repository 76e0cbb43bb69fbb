#include "platform/system/http_client.h"

#include <curl/curl.h>

#include <cstdlib>
#include <mutex>

namespace {
std::mutex limits_lock;
THttpLimits limits_now;

struct Transfer {
    THttpReply* reply;
    size_t max_body;
    const std::atomic<bool>* cancel;
    bool overflow = false;
};

size_t on_body(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    const size_t room = t->max_body - t->reply->Body.size();
    // Nothing may cross the library's frames: memory running short ends
    // the transfer as a failed one (returning less than n aborts it).
    try {
        if (n > room) {
            // Keep what fits and end the transfer.
            t->reply->Body.append(data, room);
            t->overflow = true;
            return room;
        }
        t->reply->Body.append(data, n);
    } catch (...) {
        return 0;
    }
    return n;
}

int on_progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* t = static_cast<Transfer*>(user);
    return t->cancel && t->cancel->load(std::memory_order_relaxed) ? 1 : 0;
}

void global_init() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}
}  // namespace

THttpLimits GetHttpLimits() {
    std::lock_guard<std::mutex> g(limits_lock);
    return limits_now;
}

void SetHttpLimits(const THttpLimits& limits) {
    std::lock_guard<std::mutex> g(limits_lock);
    limits_now = limits;
}

THttpReply HttpGet(const std::string& url, const std::string& proxy_host, const std::string& proxy_port,
                   const THttpLimits& limits, const std::atomic<bool>* cancel) {
    THttpReply reply;
    if (url.empty()) return reply;
    global_init();
    CURL* c = curl_easy_init();
    if (!c) return reply;
    Transfer t{&reply, limits.MaxBody, cancel};
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    // Worker threads must not get signals for time-outs.
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, limits.ConnectMs);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, limits.TotalMs);
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // An error status ends the transfer before its page is read.
    curl_easy_setopt(c, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, on_body);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &t);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, on_progress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &t);
    curl_easy_setopt(c, CURLOPT_PROXY, proxy_host.c_str());
    if (!proxy_host.empty()) {
        curl_easy_setopt(c, CURLOPT_NOPROXY, "");
        if (!proxy_port.empty()) curl_easy_setopt(c, CURLOPT_PROXYPORT, std::strtol(proxy_port.c_str(), nullptr, 10));
    }
    const CURLcode rc = curl_easy_perform(c);
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &reply.Status);
    curl_easy_cleanup(c);
    // Some error statuses get past the option (those that ask for
    // authentication): none leaves its page behind.
    if (rc == CURLE_HTTP_RETURNED_ERROR || reply.Status >= 400) reply.Body.clear();
    reply.Complete = rc == CURLE_OK && !t.overflow && reply.Status < 400;
    return reply;
}
