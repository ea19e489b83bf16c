#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QSet>

#include <cstdint>

class QWindow;
struct xcb_connection_t;

namespace norvi {

// The close box of a window that a modal window blocks: the toolkit drops the window manager's close
// request to such a window before the window hears of it, so during a run (the send dialog and the progress
// window above it) the main window's close box did nothing at all. On X11 this filter sees the request
// first and raises and activates the modal window the user has to answer, which is where the run can be
// stopped or confirmed. The request itself goes on unchanged, so a window that is not blocked still gets
// its close event and its own questions.
//
// Elsewhere (offscreen, Wayland) it installs nothing. One per application, living as long as the windows.
class ModalCloseRaise : public QObject, public QAbstractNativeEventFilter {
    Q_OBJECT
public:
    ModalCloseRaise();
    ~ModalCloseRaise() override;
    ModalCloseRaise(const ModalCloseRaise&) = delete;
    ModalCloseRaise& operator=(const ModalCloseRaise&) = delete;

    // Whether it watches the window system's close requests (only on X11).
    bool installed() const { return m_installed; }

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

protected:
    // Keeps the set of blocked windows: the toolkit tells each window when a modal window starts or stops
    // blocking it, and that is the state it drops close requests by.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void forget(QObject* window);
    bool blocked(uint32_t nativeWindow) const;

    bool m_installed = false;
    xcb_connection_t* m_connection = nullptr;
    uint32_t m_protocolsAtom = 0;
    uint32_t m_deleteWindowAtom = 0;
    QSet<const QObject*> m_blocked;
};

} // namespace norvi
