#pragma once

#include "core/compose/RecipientRecords.h"

#include <list>

namespace norvi {

// The messages of a send run made while the run goes, instead of a SendQueue built whole before it:
// norvi-cli's runs, whose records would not all fit in memory at once for a list of a million lines.
// Only the worker reads it once the run has started.
class SendFeed {
public:
    virtual ~SendFeed() = default;
    // The next message of the run; false when there is none left.
    virtual bool next(sSendContent& record) = 0;
};

// What a send worker walks, in order: the records SendQueueFeed makes when one is set, else SendQueue.
class QueueWalk {
public:
    QueueWalk();
    // The next record, or nullptr at the end. Valid until the next call.
    const sSendContent* next();

private:
    SendFeed* m_feed;
    std::list<sSendContent>::const_iterator m_at;
    sSendContent m_record{};
};

} // namespace norvi
