#pragma once

#include "core/compose/RecipientRecords.h"

#include <functional>
#include <list>

namespace norvi {

// The messages of a send run, in order, as its worker walks them. Only the worker reads it once the run
// has started.
class SendFeed {
public:
    virtual ~SendFeed() = default;
    // The next message of the run, or nullptr at the end. Valid until the next call.
    virtual const sSendContent* next() = 0;
    // Every message the run will send, in order, before the first is taken: the plan written before the
    // first request. False when the messages cannot be known now (the list file changed since it was read).
    virtual bool forEachPlanned(const std::function<void(const sSendContent&)>& each) = 0;
};

// A run's messages built whole before it starts: the send dialog's and a resend's.
class QueueFeed : public SendFeed {
public:
    explicit QueueFeed(std::list<sSendContent> queue) : SendQueue(std::move(queue)), m_at(SendQueue.cbegin()) {}
    QueueFeed(const QueueFeed&) = delete;
    QueueFeed& operator=(const QueueFeed&) = delete;

    const sSendContent* next() override;
    bool forEachPlanned(const std::function<void(const sSendContent&)>& each) override;
    const std::list<sSendContent>& queue() const { return SendQueue; }

private:
    std::list<sSendContent> SendQueue;
    std::list<sSendContent>::const_iterator m_at;
};

} // namespace norvi
