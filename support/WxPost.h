#pragma once
#include <wx/event.h>

#include "PostTarget.h"

namespace sentrel {

/// A post target whose posts reach `handler` as wxEVT_THREAD events (id: the message,
/// extra long: wParam, int: lParam), delivered by every event loop of the UI thread,
/// modal ones and open menus included. The owner closes it before it goes away.
inline PostTargetPtr MakeWxPostTarget(wxEvtHandler* handler) {
    return std::make_shared<PostTarget>(
        [handler](unsigned msg, std::intptr_t wParam, std::intptr_t lParam) {
            auto* e = new wxThreadEvent(wxEVT_THREAD, static_cast<int>(msg));
            e->SetExtraLong(static_cast<long>(wParam));
            e->SetInt(static_cast<int>(lParam));
            wxQueueEvent(handler, e);
        });
}

}  // namespace sentrel
