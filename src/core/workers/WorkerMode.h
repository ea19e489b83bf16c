#pragma once

#include <cstdint>

namespace norvi {

// What a worker does with the gateway: send the queue, or query or cancel messages by their MsgId.
enum class WorkerMode : uint8_t { Send = 0, Query = 1, Cancel = 2 };

} // namespace norvi
