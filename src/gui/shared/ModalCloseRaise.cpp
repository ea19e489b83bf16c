#include "gui/shared/ModalCloseRaise.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWidget>
#include <QWindow>

#include <cstdlib>
#include <cstring>
#include <memory>

#include <xcb/xcb.h>

namespace norvi {

namespace {

uint32_t internAtom(xcb_connection_t* connection, const char* name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name);
    const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
        xcb_intern_atom_reply(connection, cookie, nullptr), &std::free);
    return reply ? reply->atom : static_cast<uint32_t>(XCB_ATOM_NONE);
}

} // namespace

ModalCloseRaise::ModalCloseRaise() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return;
    // Asked once here: the round trip would otherwise be made for every client message.
    m_protocolsAtom = internAtom(connection, "WM_PROTOCOLS");
    m_deleteWindowAtom = internAtom(connection, "WM_DELETE_WINDOW");
    if (m_protocolsAtom == XCB_ATOM_NONE || m_deleteWindowAtom == XCB_ATOM_NONE)
        return;
    qGuiApp->installEventFilter(this);
    qGuiApp->installNativeEventFilter(this);
    m_connection = connection;
    m_installed = true;
}

ModalCloseRaise::~ModalCloseRaise() {
    if (!m_installed || !qGuiApp)
        return;
    qGuiApp->removeNativeEventFilter(this);
    qGuiApp->removeEventFilter(this);
}

bool ModalCloseRaise::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type == QEvent::WindowBlocked || type == QEvent::WindowUnblocked) && watched->isWindowType()) {
        if (type == QEvent::WindowBlocked) {
            m_blocked.insert(watched);
            connect(watched, &QObject::destroyed, this, &ModalCloseRaise::forget, Qt::UniqueConnection);
        } else {
            m_blocked.remove(watched);
        }
    }
    return false;
}

void ModalCloseRaise::forget(QObject* window) {
    m_blocked.remove(window);
}

bool ModalCloseRaise::blocked(uint32_t nativeWindow) const {
    const QWindowList windows = QGuiApplication::topLevelWindows();
    for (QWindow* window : windows) {
        if (window->handle() && window->winId() == nativeWindow)
            return m_blocked.contains(window);
    }
    return false;
}

bool ModalCloseRaise::nativeEventFilter(const QByteArray& eventType, void* message, qintptr* /*result*/) {
    if (eventType != "xcb_generic_event_t")
        return false;
    const auto* generic = static_cast<const xcb_generic_event_t*>(message);
    // The window manager sends the request with XSendEvent, which sets the event code's top bit.
    if ((generic->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
        return false;
    const auto* client = static_cast<const xcb_client_message_event_t*>(message);
    if (client->format != 32 || client->type != m_protocolsAtom || client->data.data32[0] != m_deleteWindowAtom ||
        !blocked(client->window))
        return false;
    // During a run this is the progress window, or a question shown above it.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
        // Without a window manager the toolkit hands the keyboard over with the time of the last event it
        // saw, and the server ignores that when the focus moved since (the user's click on the blocked
        // window did move it). The request's own time is the click's; a request without one (0) means now.
        xcb_set_input_focus(m_connection, XCB_INPUT_FOCUS_PARENT, static_cast<xcb_window_t>(modal->winId()),
                            client->data.data32[1]);
        xcb_flush(m_connection);
    }
    return false;
}

} // namespace norvi
