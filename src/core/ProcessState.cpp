#include "core/ProcessState.h"

#include "core/shared/Clock.h"
#include "core/shared/OpLog.h"

namespace norvi {

void ResetProcessState() {
    Clock::reset();
    SetMessageAreaSink(nullptr);
    SetMessageAreaBatchSink(nullptr);
    SetOpLogFailureReporter(nullptr);
    SetOpLogFolder(QString());
}

} // namespace norvi
