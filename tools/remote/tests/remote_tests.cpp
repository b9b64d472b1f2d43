// corvil-remote's HTTP interface, served from this process, against units of
// corvil-emulator: what each request gets back and exactly what reaches the unit.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/socket.h>

#include <chrono>
#include <future>
#include <cstdlib>
#include <thread>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include "emulator_process.h"
#include "server.h"
#include "token.h"

namespace {

namespace asio = boost::asio;
namespace http = boost::beast::http;
using tcp = asio::ip::tcp;
using nlohmann::json;
using corvil::testing::EmulatorProcess;
using namespace std::chrono_literals;

struct Reply {
    int status = 0;
    json body;
};

// A live server on a free loopback port, its io_context on a thread of its own.
class Remote {
public:
    explicit Remote(std::optional<std::string> token = {}) {
        corvil::remote::ServerOptions options;
        options.listen = {{asio::ip::address_v4::loopback(), 0}};
        options.token = std::move(token);
        server_.emplace(io_, options);
        port_ = server_->endpoints().front().port();
        thread_ = std::thread([this] { io_.run(); });
    }
    ~Remote() {
        asio::post(io_, [this] { server_.reset(); io_.stop(); });
        thread_.join();
    }
    std::string host() const { return "127.0.0.1:" + std::to_string(port_); }

    Reply request(http::verb method, const std::string &target, const std::string &body = "",
                  std::vector<std::pair<std::string, std::string>> headers = {}) {
        asio::io_context io;
        tcp::socket socket(io);
        socket.connect({asio::ip::address_v4::loopback(), port_});
        http::request<http::string_body> req(method, target, 11);
        req.set(http::field::host, host());
        if (!body.empty()) req.set(http::field::content_type, "application/json");
        for (auto &[name, value] : headers) {
            if (value.empty()) req.erase(name);
            else req.set(name, value);
        }
        req.body() = body;
        req.prepare_payload();
        http::write(socket, req);
        boost::beast::flat_buffer buffer;
        http::response<http::string_body> res;
        http::read(socket, buffer, res);
        return {static_cast<int>(res.result_int()), json::parse(res.body(), nullptr, false)};
    }
    Reply put(const std::string &target, const std::string &body) { return request(http::verb::put, target, body); }

    // An open event stream: each event's unit in turn; null when none came in time.
    class Events {
    public:
        explicit Events(Remote &remote, const std::string &target = "/api/events") : socket_(io_) {
            socket_.connect({asio::ip::address_v4::loopback(), remote.port_});
            asio::write(socket_, asio::buffer("GET " + target + " HTTP/1.1\r\nHost: " + remote.host() + "\r\n\r\n"));
        }
        json next(std::chrono::milliseconds wait = 3s) {
            const timeval limit{static_cast<time_t>(wait.count() / 1000), static_cast<suseconds_t>(wait.count() % 1000 * 1000)};
            ::setsockopt(socket_.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
            for (std::size_t end; (end = text_.find("\n\n")) == std::string::npos || text_.find("data: ") > end;) {
                if (end != std::string::npos) { // a block without data: the headers, a keep-alive
                    text_.erase(0, end + 2);
                    continue;
                }
                char chunk[4096];
                const ssize_t n = ::recv(socket_.native_handle(), chunk, sizeof chunk, 0);
                if (n <= 0) return nullptr;
                text_.append(chunk, static_cast<std::size_t>(n));
            }
            const std::size_t data = text_.find("data: "), end = text_.find("\n\n");
            const json unit = json::parse(text_.substr(data + 6, end - data - 6));
            text_.erase(0, end + 2);
            return unit;
        }
        // The next event whose unit satisfies `wanted`, skipping others.
        json until(const std::function<bool(const json &)> &wanted, std::chrono::milliseconds wait = 3s) {
            for (json e; !(e = next(wait)).is_null();)
                if (wanted(e)) return e;
            return nullptr;
        }

    private:
        asio::io_context io_;
        tcp::socket socket_;
        std::string text_;
    };

private:
    asio::io_context io_;
    std::optional<corvil::remote::Server> server_;
    unsigned short port_ = 0;
    std::thread thread_;
};

json output(int input, json pads, bool on, json inputs, double interval) {
    return {{"input", input}, {"pads", pads}, {"autoSequence", {{"on", on}, {"inputs", inputs}, {"interval", interval}}}};
}

class RemoteWithEmulator : public ::testing::Test {
protected:
    void SetUp() override { corvil::testing::usePrivateRendezvous(); }
    // Waits until the remote shows `serial` connected (or not).
    static void awaitUnit(Remote &remote, const std::string &serial, bool connected = true) {
        Remote::Events events(remote);
        ASSERT_FALSE(events.until([&](const json &u) { return u["serial"] == serial && u["connected"] == connected; }, 5s).is_null())
            << serial << " never came " << (connected ? "up" : "down");
    }
};

TEST_F(RemoteWithEmulator, ReadsTheUnitAndWritesOnlyWhatIsAsked) {
    EmulatorProcess emulator({"--serial", "DEMO1", "--serial", "DEMO2"});
    for (const char *c : {"route 0 2 6", "pad 0 2 6 on", "pad 0 1 3 on", "seq-inputs 0 2 0x05", "seq-interval 0 2 4"})
        ASSERT_EQ(emulator.command(c), "ok");
    Remote remote;
    awaitUnit(remote, "DEMO1");
    awaitUnit(remote, "DEMO2");
    const json demo1 = {{"serial", "DEMO1"}, {"connected", true},
                        {"outputs", {output(0, {3}, false, json::array(), 0), output(6, {6}, false, {1, 3}, 2.0)}}};
    Reply r = remote.request(http::verb::get, "/api/units");
    ASSERT_EQ(r.status, 200);
    ASSERT_EQ(r.body["units"].size(), 2u);
    EXPECT_EQ(r.body["units"][0], demo1);
    EXPECT_EQ(r.body["units"][1]["serial"], "DEMO2");
    EXPECT_EQ(remote.request(http::verb::get, "/api/units/DEMO1").body, demo1);

    // Input 4 on output 1: output 2's input byte is 255, the pads as the unit has them.
    r = remote.put("/api/units/DEMO1/outputs/1", R"({"input": 4})");
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body["outputs"][0], output(4, {3}, false, json::array(), 0));
    EXPECT_EQ(emulator.command("outputs 0"), "ok count=1 last=03 ff 04 20 04");
    r = remote.put("/api/units/DEMO1/outputs/2", R"({"pads": [1, 8]})");
    EXPECT_EQ(emulator.command("outputs 0"), "ok count=2 last=03 ff ff 81 04");
    // Auto-sequencing in parts: what is not given stays.
    r = remote.put("/api/units/DEMO1/outputs/2", R"({"autoSequence": {"on": true}})");
    EXPECT_EQ(emulator.command("outputs 0"), "ok count=3 last=04 05 00 84 00");
    r = remote.put("/api/units/DEMO1/outputs/1", R"({"autoSequence": {"inputs": [2], "interval": 9}, "input": 0})");
    EXPECT_EQ(emulator.command("outputs 0"), "ok count=5 last=04 05 02 84 12");
    EXPECT_EQ(r.body["outputs"], json({output(0, {3}, false, {2}, 9.0), output(6, {1, 8}, true, {1, 3}, 2.0)}));
    r = remote.put("/api/units/DEMO1/outputs/2", R"({"autoSequence": {"interval": 0.5}})"); // stays on
    EXPECT_EQ(emulator.command("outputs 0"), "ok count=6 last=04 05 02 81 12");
    EXPECT_EQ(remote.put("/api/units/DEMO1/outputs/1", "{}").status, 200); // nothing to send
    EXPECT_EQ(emulator.command("state 0"), "ok input1=0 input2=6 pads1=0x04 pads2=0x81 seqinputs1=0x02 "
                                           "seqinputs2=0x05 seqcontrol1=0x12 seqcontrol2=0x81 serial=DEMO1");
    EXPECT_EQ(emulator.command("outputs 1"), "ok count=0 last=-");
}

TEST_F(RemoteWithEmulator, BadRequestsGetAClearErrorAndChangeNothing) {
    EmulatorProcess emulator({"--serial", "DEMO1"});
    Remote remote;
    awaitUnit(remote, "DEMO1");
    using Headers = std::vector<std::pair<std::string, std::string>>;
    const std::string out1 = "/api/units/DEMO1/outputs/1", one = R"({"input": 1})", port = remote.host().substr(10);
    auto expect = [&](int status, http::verb method, const std::string &target, const std::string &body,
                      const Headers &headers = {}) {
        const Reply r = remote.request(method, target, body, headers);
        EXPECT_EQ(r.status, status) << target << " " << body;
        EXPECT_TRUE(r.body.contains("error") && r.body["error"].is_string()) << target << " " << body;
    };
    for (const char *body : {"{\"input\": 4", "[4]", R"({"input": 4, "volume": 3})", R"({"autoSequence": {"speed": 1}})",
                             R"({"input": 9})", R"({"input": -1})", R"({"input": 2.5})", R"({"input": "4"})",
                             R"({"pads": [0]})", R"({"pads": [9]})", R"({"pads": 3})", R"({"autoSequence": {"on": 1}})",
                             R"({"autoSequence": {"inputs": [1, 9]}})", R"({"autoSequence": {"interval": 0.7}})",
                             R"({"autoSequence": {"interval": 9.5}})"})
        expect(400, http::verb::put, out1, body);
    expect(400, http::verb::put, "/api/units/DEMO1/outputs/3", one);
    expect(400, http::verb::put, "/api/units/DEMO1/outputs/0", one);
    expect(404, http::verb::put, "/api/units/NOPE1/outputs/1", one);
    for (const char *target : {"/api/units/NOPE1", "/api/unit", "/index.html"}) expect(404, http::verb::get, target, "");
    expect(405, http::verb::post, out1, one);
    expect(405, http::verb::delete_, "/api/units/DEMO1", "");
    expect(413, http::verb::put, out1, "{\"pads\": [" + std::string(5000, ' ') + "1]}");
    expect(415, http::verb::put, out1, one, {{"Content-Type", "text/plain"}});
    expect(415, http::verb::put, out1, one, {{"Content-Type", ""}});
    // Another site's page, or a name rebound to this machine, reaches nothing.
    expect(403, http::verb::put, out1, one, {{"Origin", "http://evil.example"}});
    expect(403, http::verb::get, "/api/units", "", {{"Host", "evil.example:" + port}});
    expect(403, http::verb::get, "/api/units", "", {{"Host", "127.0.0.1:1"}});
    expect(403, http::verb::get, "/api/units", "", {{"Host", "10.1.2.3:" + port}}); // not listened on
    // Garbage on the wire: an error, and the server goes on.
    asio::io_context io;
    tcp::socket raw(io);
    raw.connect({asio::ip::address_v4::loopback(), static_cast<unsigned short>(std::stoi(port))});
    asio::write(raw, asio::buffer(std::string("\x01\x02 nonsense\r\n\r\n")));
    char answer[64] = {};
    boost::system::error_code ec;
    raw.read_some(asio::buffer(answer, 12), ec);
    EXPECT_EQ(std::string(answer, 12), "HTTP/1.1 400");
    EXPECT_EQ(remote.request(http::verb::get, "/api/units", "", {{"Host", "localhost:" + port}}).status, 200);
    EXPECT_EQ(emulator.command("outputs 0"), "ok count=0 last=-");
}

TEST_F(RemoteWithEmulator, AChangeOnlyEverCarriesRecordsTheUnitSentAfterIt) {
    EmulatorProcess emulator({"--serial", "DEMO1"});
    ASSERT_EQ(emulator.command("pad 0 2 5 on"), "ok");
    Remote remote;
    awaitUnit(remote, "DEMO1");
    Remote::Events events(remote);
    // The unit falls silent but for made-up reports: the remote's view says
    // output 2 has no pads, as if another program changed them after its read.
    ASSERT_EQ(emulator.command("silence 0 on"), "ok");
    ASSERT_EQ(emulator.command("raw 0 03 00 00 00 00"), "ok");
    ASSERT_FALSE(events.until([](const json &u) { return u["outputs"][1]["pads"].empty(); }).is_null());
    auto put = std::async(std::launch::async, [&] { return remote.put("/api/units/DEMO1/outputs/1", R"({"input": 2})"); });
    std::this_thread::sleep_for(100ms);
    // An auto-sequencing report after the request is not enough: the change
    // waits for the unit's own settings.
    ASSERT_EQ(emulator.command("raw 0 04 00 00 00 00"), "ok");
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(emulator.command("outputs 0"), "ok count=0 last=-");
    ASSERT_EQ(emulator.command("silence 0 off"), "ok");
    EXPECT_EQ(put.get().status, 200);
    EXPECT_EQ(emulator.command("outputs 0"), "ok count=1 last=03 ff 02 10 00");
}

TEST_F(RemoteWithEmulator, EventsFollowFrontPanelLossAndReturn) {
    EmulatorProcess emulator({"--serial", "DEMO1", "--serial", "DEMO2"});
    Remote remote;
    awaitUnit(remote, "DEMO1");
    awaitUnit(remote, "DEMO2");
    Remote::Events events(remote);
    // One event for every unit as the stream opens.
    EXPECT_EQ(events.next()["serial"], "DEMO1");
    EXPECT_EQ(events.next()["serial"], "DEMO2");
    ASSERT_EQ(emulator.command("route 1 1 7"), "ok");
    json e = events.next();
    EXPECT_EQ(e["serial"], "DEMO2");
    EXPECT_EQ(e["outputs"][0]["input"], 7);
    ASSERT_EQ(emulator.command("seq-inputs 0 2 0x03"), "ok");
    ASSERT_EQ(emulator.command("seq-interval 0 2 1"), "ok");
    ASSERT_EQ(emulator.command("seq 0 2 on"), "ok");
    // Steps of auto-sequencing, half a second apart.
    EXPECT_FALSE(events.until([](const json &u) { return u["outputs"][1]["input"] == 1; }).is_null());
    EXPECT_FALSE(events.until([](const json &u) { return u["outputs"][1]["input"] == 2; }).is_null());
    ASSERT_EQ(emulator.command("seq 0 2 off"), "ok");

    for (const char *lose : {"unplug 0", "silence 0 on"}) {
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(emulator.command(lose), "ok");
        EXPECT_FALSE(events.until([](const json &u) { return u["serial"] == "DEMO1" && !u["connected"]; }).is_null())
            << lose;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms) << lose;
        EXPECT_EQ(remote.put("/api/units/DEMO1/outputs/1", R"({"input": 1})").status, 503);
        // DEMO2 goes on.
        ASSERT_EQ(emulator.command("route 1 2 3"), "ok");
        EXPECT_EQ(events.until([](const json &u) { return u["serial"] == "DEMO2"; })["outputs"][1]["input"], 3);
        ASSERT_EQ(emulator.command("route 1 2 0"), "ok");
        ASSERT_EQ(emulator.command(lose == std::string("unplug 0") ? "plug 0" : "silence 0 off"), "ok");
        EXPECT_FALSE(events.until([](const json &u) { return u["serial"] == "DEMO1" && u["connected"]; }, 5s).is_null())
            << lose;
    }
    EXPECT_EQ(remote.put("/api/units/DEMO1/outputs/1", R"({"input": 1})").status, 200);
}

TEST(RemoteAccess, TheTokenIsAskedForEverywhereButThePage) {
    corvil::testing::usePrivateRendezvous();
    const std::string token = corvil::remote::newToken();
    Remote remote(token);
    EXPECT_EQ(remote.request(http::verb::get, "/").status, 200);
    EXPECT_EQ(remote.request(http::verb::get, "/api/units").status, 401);
    std::string wrong = token;
    wrong.back() ^= 1; // differs in its last character only
    EXPECT_EQ(remote.request(http::verb::get, "/api/units", "", {{"Authorization", "Bearer " + wrong}}).status, 401);
    EXPECT_EQ(remote.request(http::verb::get, "/api/units", "", {{"Authorization", "Bearer " + token + "0"}}).status, 401);
    EXPECT_EQ(remote.request(http::verb::get, "/api/units", "", {{"Authorization", "Basic " + token}}).status, 401);
    EXPECT_EQ(remote.request(http::verb::get, "/api/units", "", {{"Authorization", "Bearer " + token}}).status, 200);
    EXPECT_EQ(remote.request(http::verb::get, "/api/units?token=" + token).status, 401); // only for the stream
    Remote::Events refused(remote, "/api/events?token=x" + token);
    EXPECT_TRUE(refused.next(1s).is_null());
    corvil::testing::EmulatorProcess emulator({"--serial", "TOKEN"});
    Remote::Events events(remote, "/api/events?token=" + token);
    EXPECT_EQ(events.next(5s)["serial"], "TOKEN");
}

TEST(RemoteAccess, TheTokenIsMadeOnceAndKeptForTheUserAlone) {
    char dir[] = "/tmp/corvil-remote-token-XXXXXX";
    ASSERT_TRUE(::mkdtemp(dir));
    ::setenv("XDG_CONFIG_HOME", dir, 1);
    const std::string path = corvil::remote::defaultTokenPath();
    EXPECT_EQ(path, std::string(dir) + "/corvil/remote-token");
    const std::string token = corvil::remote::loadOrCreateToken(path);
    EXPECT_EQ(token.size(), 64u);
    EXPECT_EQ(corvil::remote::loadOrCreateToken(path), token);
    EXPECT_NE(corvil::remote::newToken(), token);
    struct stat st{};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // The program: its options, and the address it prints with the token.
    using corvil::testing::runProgram;
    EXPECT_EQ(runProgram(REMOTE_PATH, {"--version"}).out, "corvil-remote " CORVIL_VERSION "\n");
    for (const char *bad : {"nowhere", "127.0.0.1", "127.0.0.1:70000", "[::1:80"})
        EXPECT_EQ(runProgram(REMOTE_PATH, {"--listen", bad}).exitCode, 2) << bad;
    EXPECT_EQ(runProgram(REMOTE_PATH, {"--fly"}).exitCode, 2);
}

} // namespace
