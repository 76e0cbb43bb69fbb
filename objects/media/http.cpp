#include "objects/media/http.h"

#include "script/game_clock.h"
#include "files/jstring.h"
#include "objects/base_list.h"
#include "platform/system/http_client.h"

// Shared by the object and its worker: the worker writes Reply and then
// sets Done; the main thread reads Reply only after seeing Done.
struct TVorqHttp::Job {
    std::string Url, ProxyHost, ProxyPort;
    THttpLimits Limits;
    std::string Reply;
    std::atomic<bool> Done{false};
    std::atomic<bool> Cancel{false};
};

TVorqHttp::TVorqHttp(TVorqBaseList* registry) : TVorqComponent(registry) {}

TVorqHttp::~TVorqHttp() {
    // A stalled server must not hold the game up: the worker is told to
    // stop and left to finish on its own, keeping its job alive itself.
    if (FJob) {
        FJob->Cancel = true;
        if (FThread.joinable()) FThread.detach();
    }
}

void TVorqHttp::SetProxy(const std::string& v) {
    const size_t colon = v.find(':');
    FProxyHost = v.substr(0, colon);
    FProxyPort = colon == std::string::npos ? std::string() : v.substr(colon + 1);
}

void TVorqHttp::SetSource(const std::string& v) {
    if (FJob) return;
    FReply.clear();
    if (!v.empty() && v[0] == '!') {
        // Another fetcher's finished reply names the document to fetch.
        std::string url;
        TVorqObject* other = FRegistry ? FRegistry->FindObject(v.substr(1)) : nullptr;
        if (auto* http = dynamic_cast<TVorqHttp*>(other)) url = http->GetDataStream();
        FUrl = url;
    } else {
        FUrl = v;
    }
    auto job = std::make_shared<Job>();
    job->Url = FUrl;
    job->ProxyHost = FProxyHost;
    job->ProxyPort = FProxyPort;
    job->Limits = GetHttpLimits();
    FJob = job;
    FThread = std::thread([job] {
        // Nothing may leave the fetching thread: a fetch that raised ends
        // as a failed one, with nothing received.
        try {
            THttpReply r = HttpGet(job->Url, job->ProxyHost, job->ProxyPort, job->Limits, &job->Cancel);
            job->Reply = std::move(r.Body);
        } catch (...) {
            job->Reply.clear();
        }
        job->Done.store(true, std::memory_order_release);
    });
}

bool TVorqHttp::Update() {
    if (FJob && FJob->Done.load(std::memory_order_acquire)) {
        FThread.join();
        FReply = std::move(FJob->Reply);
        FJob.reset();
        if (!Terminating && !FOnPlayEnd.empty()) QueueEvent(FOnPlayEnd, PR_ONPLAYEND);
    }
    return false;
}

std::string TVorqHttp::GetText() const {
    if (FJob || FReply.empty()) return {};
    const std::string text = EucJpToShiftJis(FReply);
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            // A line break at the very end closes the last line; nothing follows it.
            if (i + 1 < text.size()) out += '\x01';
        } else {
            out += c;
        }
    }
    return out;
}
