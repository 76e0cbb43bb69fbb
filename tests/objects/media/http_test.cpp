// The HTTP fetcher against a local server started by the test (Python's
// http.server, bodies encoded by Python's euc_jp codec): the reply as
// Shift-JIS lines, the end noticed on the main thread, time-outs, the body
// bound, a proxy, "!name" sources, a stalled server at destruction, and the
// saved record.
#include "script/game_clock.h"
#include "objects/base_list.h"
#include "objects/media/http.h"
#include "objects/object_kinds.h"
#include "platform/text/codepage.h"
#include "platform/exception.h"
#include "platform/system/http_client.h"
#include "platform/filesystem/stream.h"
#include "tests/support/wait_until.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

// The server runs until its standard input closes.
class LocalServer {
public:
    LocalServer() {
        int out[2], in[2];
        if (pipe(out) != 0 || pipe(in) != 0) return;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, in[0], 0);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        posix_spawn_file_actions_addclose(&fa, in[1]);
        posix_spawn_file_actions_addclose(&fa, out[0]);
        const std::string script = std::string(VORQ_SOURCE_DIR) + "/tests/objects/media/http_server.py";
        char* argv[] = {const_cast<char*>("/usr/bin/python3"), const_cast<char*>(script.c_str()), nullptr};
        if (posix_spawn(&pid_, "/usr/bin/python3", &fa, nullptr, argv, environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&fa);
        close(in[0]);
        close(out[1]);
        stdin_ = in[1];
        FILE* f = fdopen(out[0], "r");
        if (f && fscanf(f, "%d", &port_) != 1) port_ = 0;
        if (f) fclose(f);
    }
    ~LocalServer() {
        if (stdin_ >= 0) close(stdin_);
        if (pid_ > 0) waitpid(pid_, nullptr, 0);
    }
    std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    int Port() const { return port_; }

private:
    pid_t pid_ = -1;
    int stdin_ = -1;
    int port_ = 0;
};

class Http : public ::testing::Test {
protected:
    static inline LocalServer* server = nullptr;
    static void SetUpTestSuite() { server = new LocalServer(); }
    static void TearDownTestSuite() {
        delete server;
        server = nullptr;
    }
    std::unique_ptr<TVorqBaseList> reg;
    THttpLimits saved = GetHttpLimits();

    void SetUp() override {
        ASSERT_GT(server->Port(), 0) << "the local server did not start";
        InstallObjectKinds();
        Terminating = false;
        reg = std::make_unique<TVorqBaseList>();
    }
    void TearDown() override {
        reg.reset();
        SetHttpLimits(saved);
        Terminating = false;
    }
    TVorqHttp* make(const std::string& name, const std::string& on_end = "done.vsb") {
        auto* h = static_cast<TVorqHttp*>(CreateObjectByType(reg.get(), LT_HTTP));
        h->SetName(name);
        h->SetOnPlayEnd(on_end);
        return h;
    }
    // Runs the object's update as the frame loop would, until it is idle
    // (the deadline only ends a fault).
    static void settle(TVorqHttp* h) {
        h->Update();
        StepUntil([&] { return !h->IsBusy(); }, [&] { h->Update(); });
        ASSERT_FALSE(h->IsBusy());
    }
    int ends() const {
        int n = 0;
        for (int i = 0; i < reg->Events.Count(); ++i) n += reg->Events.Get(i).EventId == PR_ONPLAYEND;
        return n;
    }
};

TEST_F(Http, RepliesReadAsShiftJisLinesJoinedByOne) {
    struct Case {
        const char* path;
        std::string text;
    };
    const Case cases[] = {
        {"/euc", Sjis("あいう") + "\x01" + Sjis("漢字") + "\x01" + Sjis("カナ") + "\x01" "end"},
        {"/abc", "a\x01" "b\x01" "c"},
        {"/empty", ""},
        // Error statuses fail the request: their pages are no reply.
        {"/missing", ""},
        {"/fail", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        reg->Events.Clear();
        TVorqHttp* h = make("fetch");
        h->SetSource(server->Url(c.path));
        EXPECT_TRUE(h->IsBusy());
        EXPECT_EQ(h->GetText(), "");  // nothing is read while the worker fills the reply
        EXPECT_EQ(ends(), 0);         // the end is queued by the main thread only
        settle(h);
        EXPECT_EQ(h->GetText(), c.text);
        EXPECT_EQ(h->GetSource(), server->Url(c.path));
        EXPECT_EQ(ends(), 1);
        h->FreeNow();
    }
}

TEST_F(Http, ASourceSetWhileBusyChangesNothing) {
    TVorqHttp* h = make("fetch");
    h->SetSource(server->Url("/abc"));
    h->SetSource(server->Url("/euc"));
    EXPECT_EQ(h->GetSource(), server->Url("/abc"));
    settle(h);
    EXPECT_EQ(h->GetText(), "a\x01" "b\x01" "c");
    EXPECT_EQ(ends(), 1);
}

TEST_F(Http, BangSourcesTakeAnotherFetchersReply) {
    TVorqHttp* first = make("first", "");
    first->SetSource(server->Url("/next"));
    settle(first);
    EXPECT_EQ(ends(), 0);  // no label, no event
    TVorqHttp* second = make("second");
    second->SetSource("!first");
    EXPECT_EQ(second->GetSource(), server->Url("/abc"));
    settle(second);
    EXPECT_EQ(second->GetText(), "a\x01" "b\x01" "c");
    // A missing object, or one with no reply, asks for the empty URL.
    for (const char* src : {"!nobody", "!"}) {
        TVorqHttp* third = make("third");
        third->SetSource(src);
        EXPECT_EQ(third->GetSource(), "");
        settle(third);
        EXPECT_EQ(third->GetText(), "");
        third->FreeNow();
    }
}

TEST_F(Http, TimeOutsAndTheBodyBoundEndTheRequest) {
    THttpLimits tight = saved;
    tight.TotalMs = 300;
    tight.MaxBody = 1000;
    SetHttpLimits(tight);
    // The slow server sends 7 of 1000 bytes and goes silent: the total
    // time-out ends the request, keeping what came, and the end still runs.
    TVorqHttp* slow = make("slow");
    slow->SetSource(server->Url("/slow"));
    settle(slow);
    EXPECT_EQ(slow->GetText(), "partial");
    EXPECT_EQ(ends(), 1);
    TVorqHttp* big = make("big");
    big->SetSource(server->Url("/big"));
    settle(big);
    EXPECT_EQ(big->GetText(), std::string(1000, 'x'));
    // Nothing listens on port 9 of this machine: a failure, not a hang.
    TVorqHttp* dead = make("dead");
    dead->SetSource("http://127.0.0.1:9/");
    settle(dead);
    EXPECT_EQ(dead->GetText(), "");
    EXPECT_EQ(ends(), 3);
}

TEST_F(Http, TheProxyIsHostColonPortAndCarriesTheRequest) {
    TVorqHttp* h = make("fetch");
    EXPECT_EQ(h->GetProxy(), ":");
    struct Case {
        const char* set;
        const char* get;
    };
    const Case cases[] = {{"proxy:8080", "proxy:8080"}, {"proxy", "proxy:"}, {"a:b:c", "a:b:c"}, {"", ":"}};
    for (const Case& c : cases) {
        h->SetProxy(c.set);
        EXPECT_EQ(h->GetProxy(), c.get) << c.set;
    }
    h->SetProxy("127.0.0.1:" + std::to_string(server->Port()));
    h->SetSource("http://example.invalid/page");
    settle(h);
    EXPECT_EQ(h->GetText(), "via proxy http://example.invalid/page");
}

TEST_F(Http, NoEndIsQueuedWhileTheGameTerminates) {
    TVorqHttp* h = make("fetch");
    h->SetSource(server->Url("/abc"));
    Terminating = true;
    settle(h);
    EXPECT_EQ(ends(), 0);
}

TEST_F(Http, DestructionDoesNotWaitForAStalledServer) {
    TVorqHttp* h = make("fetch");
    h->SetSource(server->Url("/slow"));  // silent for 30 s, far past any test's patience
    const auto start = std::chrono::steady_clock::now();
    h->FreeNow();
    reg.reset();
    // Not a timing assertion on speed: a destructor that waited for the
    // server would take the server's 30 s.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST_F(Http, TheRecordLoadsBackAndTruncationsAreRefused) {
    TVorqHttp* h = make("fetch");
    TMemoryStream s;
    h->SaveToStream(s);
    const std::vector<uint8_t> bytes(s.Bytes().begin(), s.Bytes().end());
    reg->ResetScene();
    TVorqObject* copy = CreateStoredObject(reg.get(), LT_HTTP);
    TMemoryStream in;
    in.WriteBuffer(bytes.data(), int64_t(bytes.size()));
    in.SetPosition(0);
    copy->LoadFromStream(in, 130);
    EXPECT_EQ(copy->GetName(), "fetch");
    EXPECT_EQ(in.Remaining(), 0);
    for (size_t n = 0; n < bytes.size(); ++n) {
        reg->ResetScene();
        TVorqObject* c = CreateStoredObject(reg.get(), LT_HTTP);
        TMemoryStream part;
        if (n) part.WriteBuffer(bytes.data(), int64_t(n));
        part.SetPosition(0);
        EXPECT_THROW(c->LoadFromStream(part, 130), ECorruptData) << n;
    }
}

}  // namespace
