// The send run under faults at full size, next to a clean run of the same size: 100,000 one-segment
// messages through the real worker against the in-process simulator, once without faults and once with
// a dropped connection every 997 requests, code 11 on every 13th send, every 101st reply in two parts and
// three requests without a reply halfway. Prints both wall times, their ratio, what the faults did and
// whether everything that must hold held (one row with a code per segment, distinct MsgIds that are
// exactly the messages the gateway took, the run ended, no exchange waited longer than the reply wait).
//
//   FaultRunBench [--segments N] [--reply-wait SECONDS]     (defaults 100000 and 5)

#include "support/FaultRun.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace norvi;

namespace {

void report(const char* name, const test::FaultRunResult& r) {
    std::printf("%-6s %8.2f s  %6.0f segments/s  rows %zu  accepted %d  failed %d  drops %lld  refusals %lld  "
                "splits %lld  silences %lld  longest wait %lld ms  %s\n",
                name, r.seconds, double(r.rows.size()) / r.seconds, r.rows.size(), r.accepted, r.failed,
                static_cast<long long>(r.counts.drops), static_cast<long long>(r.counts.refusals),
                static_cast<long long>(r.counts.splits), static_cast<long long>(r.counts.silences),
                static_cast<long long>(r.counts.longestQuietMs),
                r.broken.isEmpty() ? "all checks held" : qPrintable(r.broken.join(QStringLiteral("; "))));
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int segments = 100000;
    int replyWait = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--segments") == 0)
            segments = std::atoi(argv[i + 1]);
        else if (std::strcmp(argv[i], "--reply-wait") == 0)
            replyWait = std::atoi(argv[i + 1]);
    }
    const int timeout = 3600;
    const test::FaultRunResult clean = test::runSendUnderFaults(segments, gwsim::FaultPlan{}, replyWait, timeout);
    report("clean", clean);
    const test::FaultRunResult faults =
        test::runSendUnderFaults(segments, test::standardFaultPlan(segments), replyWait, timeout);
    report("faults", faults);
    // The silence alone costs its reply waits; the rest is what the faults cost the run.
    const double silence = double(faults.counts.silences) * replyWait;
    std::printf("ratio faults/clean %.2f; without the %.0f s of silence %.2f\n", faults.seconds / clean.seconds,
                silence, (faults.seconds - silence) / clean.seconds);
    return clean.broken.isEmpty() && faults.broken.isEmpty() ? 0 : 1;
}
