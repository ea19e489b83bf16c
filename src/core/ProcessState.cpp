#include "core/ProcessState.h"

#include "core/shared/Clock.h"
#include "core/shared/Global.h"
#include "core/shared/OpLog.h"
#include "core/shared/StopSignal.h"

namespace norvi {

void ResetProcessState() {
    ClearStop();
    Clock::reset();
    SetMessageAreaSink(nullptr);
    SetOpLogFailureReporter(nullptr);
    SetOpLogFolder(QString());
}

} // namespace norvi
