#pragma once

#include "core/compose/RecipientRecords.h"

#include <list>

namespace norvi {

// The messages of a send run, in order, as its worker walks them. Only the worker reads it once the run
// has started.
class SendFeed {
public:
    virtual ~SendFeed() = default;
    // The next message of the run, or nullptr at the end. Valid until the next call.
    virtual const sSendContent* next() = 0;
};

// A run's messages built whole before it starts: the send dialog's and a resend's.
class QueueFeed : public SendFeed {
public:
    explicit QueueFeed(std::list<sSendContent> queue) : SendQueue(std::move(queue)), m_at(SendQueue.cbegin()) {}
    QueueFeed(const QueueFeed&) = delete;
    QueueFeed& operator=(const QueueFeed&) = delete;

    const sSendContent* next() override;
    const std::list<sSendContent>& queue() const { return SendQueue; }

private:
    std::list<sSendContent> SendQueue;
    std::list<sSendContent>::const_iterator m_at;
};

} // namespace norvi
