#pragma once

#include "core/compose/SendFeed.h"
#include "core/shared/Config.h"
#include "core/workers/JobOwner.h"

#include <QString>

#include <list>
#include <memory>
#include <optional>

namespace norvi {

// One send run, everything it needs, as a value: the send dialog, a resend and norvi-cli send build it,
// StartSendRun moves it into the worker, and the worker owns it until the run has ended. The worker reads
// nothing else for the run, so the dialog may change, and a next run be prepared, while it goes.
struct SendRun {
    // The messages in order: a queue built whole (QueueFeed), or the records a list file makes while the
    // run goes (StreamedSendRun). Shared so that a starter that wants to hear from its feed after the end
    // (a list file changed under the run) keeps a hold on it; only the worker reads it while the run goes.
    std::shared_ptr<SendFeed> feed;
    // The reservation and the validity limit, as the dialog or --at and --limit had them when the run
    // was started; none for a resend, whose messages all go at once and without a limit.
    std::optional<SendSchedule> schedule;
    // Where the run logs in: resolved before it starts, so a setting saved meanwhile reaches the next run.
    GatewayTarget gateway;
    // The window that started the run, asked on the user-interface thread after transport failures; none
    // (the command line, a test) gives the run up then.
    JobOwner* opener = nullptr;
    // Said after the counts at the run's end: what a resend left out and why.
    QString endNote{};

    // A run of a queue built whole.
    static SendRun ofQueue(std::list<sSendContent> SendQueue, const GatewayTarget& gateway, JobOwner* opener,
                           std::optional<SendSchedule> schedule = std::nullopt) {
        return SendRun{std::make_shared<QueueFeed>(std::move(SendQueue)), std::move(schedule), gateway, opener};
    }
};

} // namespace norvi
