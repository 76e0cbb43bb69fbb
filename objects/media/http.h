// TVorqHttp: fetches a text document without stopping the game. Setting
// SOURCE starts one GET on a worker thread; the update pass notices the end
// on the main thread, takes the reply and queues ONPLAYEND. TEXT gives the
// reply as Shift-JIS lines joined by 0x01.
#pragma once
#include "objects/vorq_object.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>

class TVorqHttp : public TVorqComponent {
public:
    explicit TVorqHttp(TVorqBaseList* registry);
    ~TVorqHttp() override;

    uint8_t GetCompoType() const override { return LT_HTTP; }
    std::string GetSource() const override { return FUrl; }
    void SetSource(const std::string& v) override;
    std::string GetText() const override;
    std::string GetOnPlayEnd() const override { return FOnPlayEnd; }
    void SetOnPlayEnd(const std::string& v) override { FOnPlayEnd = v; }

    std::string GetProxy() const { return FProxyHost + ":" + FProxyPort; }
    void SetProxy(const std::string& v);
    bool IsBusy() const override { return FJob != nullptr; }
    // The finished reply; empty while a request runs.
    const std::string& GetDataStream() const { return FReply; }

    bool Update() override;

private:
    struct Job;
    std::string FUrl, FOnPlayEnd, FProxyHost, FProxyPort;
    std::string FReply;
    std::shared_ptr<Job> FJob;
    std::thread FThread;
};
