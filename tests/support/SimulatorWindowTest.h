#pragma once

#include "GatewaySimulator.h"
#include "core/gateway/GwRecords.h"
#include "support/GatewayRequests.h"
#include "support/WindowTest.h"

#include <QList>

#include <initializer_list>
#include <memory>

namespace norvi::test {

// An in-process gateway simulator with `options` on a free loopback port that delivers at once, started.
inline std::unique_ptr<gwsim::GatewaySimulator> startedSimulator(gwsim::SimOptions options) {
    options.port = 0;
    options.deliverAfterSeconds = 0;
    auto sim = std::make_unique<gwsim::GatewaySimulator>(options);
    QString error;
    EXPECT_TRUE(sim->start(&error)) << error.toStdString();
    return sim;
}

inline std::unique_ptr<gwsim::GatewaySimulator> startedSimulator(const gwsim::ReplyPacing& pacing = {}) {
    gwsim::SimOptions options;
    options.pacing = pacing;
    return startedSimulator(options);
}

// How many requests of the given types (GwQuery, GwSendDomestic, ...) the simulator took.
inline int requestsOf(const gwsim::GatewaySimulator& sim, std::initializer_list<int> types) {
    int n = 0;
    for (const sGwRequest& r : sim.requests())
        for (const int type : types)
            n += r.msg_type == type ? 1 : 0;
    return n;
}

// The schedule field of each domestic send the simulator took, in order: "01" sent at once, "03" booked.
inline QList<QByteArray> sentSchedules(const gwsim::GatewaySimulator& sim) {
    QList<QByteArray> schedules;
    for (const sGwRequest& r : sim.requests())
        if (r.msg_type == GwSendDomestic)
            schedules << requestParams(r).value(1);
    return schedules;
}

// The window set against an in-process gateway simulator that delivers at once, the configuration
// pointing at it.
class SimulatorWindowTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        m_sim = startedSimulator();
        writeConfig(logFolder(), "127.0.0.1", m_sim->port(), "demo", "demo");
        startWindows();
    }
    void TearDown() override {
        WindowTest::TearDown();
        m_sim.reset();
    }
    // The log folder the configuration names: the start folder, unless a fixture keeps logs elsewhere.
    virtual QString logFolder() { return m_dir.path(); }

    std::unique_ptr<gwsim::GatewaySimulator> m_sim;
};

} // namespace norvi::test
