// The exchange rate of one logged-in gateway client against the simulator on loopback, next to a raw
// loopback echo of the same record sizes (266 bytes out, 244 back) that does nothing else. The ratio
// shows what the client's waits and the simulator's request handling cost on top of the round trip.

#include "GatewaySimulator.h"
#include "core/gateway/GwRecords.h"
#include "core/gateway/SMSendNorviGw.h"
#include "support/RawTcpServer.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

using namespace norvi;

namespace {

void BM_ClientQueryExchange(benchmark::State& state) {
    gwsim::SimOptions options;
    options.port = 0;
    options.keepRequests = 0;
    options.deliverAfterSeconds = 0; // every query finds the message delivered, the usual case
    gwsim::GatewaySimulator sim(options);
    QString error;
    if (!sim.start(&error)) {
        state.SkipWithError(error.toStdString().c_str());
        return;
    }
    SMSendNorviGw client;
    client.SetHost("127.0.0.1");
    client.SetPort(sim.port());
    client.SetAccount("demo");
    client.SetPassword("demo");
    if (!client.Login()) {
        state.SkipWithError("login failed");
        return;
    }
    client.Clear();
    client.SetType(GwSendDomestic);
    client.SetCoding(1);
    client.SetMobile("0912345678");
    client.SetContent(5, "hello");
    QByteArray msgId;
    if (client.Send(msgId) != 0) {
        state.SkipWithError("send failed");
        return;
    }
    for (auto _ : state) {
        client.Clear();
        client.SetType(GwQuery);
        client.SetMsgId(msgId);
        QByteArray text;
        const int code = client.Send(text);
        if (code != 4 && code != 0) {
            state.SkipWithError("query failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_RawEchoExchange(benchmark::State& state) {
    // The tests' loopback peer as a blocking echo: 244 bytes back for every 266 read, until the client
    // closes. Both sides read without a time-out, so the round trip costs two system calls a side.
    test::RawTcpServer server([](int fd) {
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        sGwRequest q;
        sGwReply r{};
        while (test::RawTcpServer::readExactly(fd, &q, sizeof q, test::RawTcpServer::kNoTimeout) &&
               test::RawTcpServer::writeAll(fd, &r, sizeof r)) {
        }
    });

    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(uint16_t(server.port()));
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        state.SkipWithError("connect failed");
    } else {
        sGwRequest q{};
        sGwReply r;
        for (auto _ : state) {
            if (!test::RawTcpServer::writeAll(fd, &q, sizeof q) ||
                !test::RawTcpServer::readExactly(fd, &r, sizeof r, test::RawTcpServer::kNoTimeout)) {
                state.SkipWithError("echo failed");
                break;
            }
        }
        state.SetItemsProcessed(state.iterations());
    }
    ::close(fd);
    server.join();
}

BENCHMARK(BM_ClientQueryExchange)->UseRealTime()->MinTime(0.5);
BENCHMARK(BM_RawEchoExchange)->UseRealTime()->MinTime(0.5);

// Keeps each benchmark's requests per second so the ratio can be printed after the table; with
// repetitions the median counts, since other work on the machine disturbs single runs.
class RateReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, std::vector<double>> rates;
    std::map<std::string, double> medians;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            const auto it = run.counters.find("items_per_second");
            if (run.error_occurred || it == run.counters.end())
                continue;
            if (run.run_type == Run::RT_Iteration)
                rates[run.run_name.function_name].push_back(it->second.value);
            else if (run.aggregate_name == "median") // only aggregates are reported
                medians[run.run_name.function_name] = it->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double median(const std::string& name) const {
        if (medians.count(name))
            return medians.at(name);
        const auto it = rates.find(name);
        if (it == rates.end() || it->second.empty())
            return 0;
        std::vector<double> v = it->second;
        std::sort(v.begin(), v.end());
        return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
    }
};

} // namespace

int main(int argc, char** argv) {
    // With TZ unset the C library checks /etc/localtime on every local-time conversion, which the
    // simulator makes for every request; naming the same zone lets it read the file once.
    setenv("TZ", ":/etc/localtime", 0);
    // Both benchmarks are round trips between two threads, so other work on the machine moves them a
    // lot; by default their repetitions are interleaved in random order and the medians compared, so
    // a busy spell does not land on one side only. Options given on the command line come later and win.
    std::vector<char*> args(argv, argv + argc);
    char repetitions[] = "--benchmark_repetitions=10";
    char interleave[] = "--benchmark_enable_random_interleaving=true";
    char aggregates[] = "--benchmark_report_aggregates_only=true";
    args.insert(args.begin() + 1, {repetitions, interleave, aggregates});
    int count = int(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 1;
    RateReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const double client = reporter.median("BM_ClientQueryExchange");
    const double echo = reporter.median("BM_RawEchoExchange");
    if (client > 0 && echo > 0) {
        std::printf("client %.0f requests/s, raw echo %.0f exchanges/s: client at %.1f%% of the raw echo "
                    "(target 80%%)\n",
                    client, echo, 100.0 * client / echo);
    }
    benchmark::Shutdown();
    return 0;
}
