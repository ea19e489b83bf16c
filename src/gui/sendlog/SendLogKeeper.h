#pragma once

namespace norvi {

class JobRows;

// What a window that adds rows to the send log needs of the window that keeps it: the rows as the
// user-interface thread reaches them, and the question whether to empty them first. The main window is
// the one keeper; the window set hands it to the send dialog.
class SendLogKeeper {
public:
    virtual ~SendLogKeeper() = default;
    virtual JobRows& jobRows() = 0;
    // Sorts by name, then offers to empty the list (saving it first when it changed). False abandons the
    // command that asked.
    virtual bool ConfirmClearLog() = 0;
};

} // namespace norvi
