#pragma once
#include <wx/event.h>

#include "base/PostTarget.h"

namespace sentrel {

/// A post target whose values reach `handler` as wxEVT_THREAD events with this id, the
/// value as the event's payload, delivered by every event loop of the UI thread, modal
/// ones and open menus included. The owner closes it before it goes away.
template <typename T>
PostTargetPtr<T> MakeWxPostTarget(wxEvtHandler* handler, int id) {
    return std::make_shared<PostTarget<T>>([handler, id](T value) {
        auto* e = new wxThreadEvent(wxEVT_THREAD, id);
        e->SetPayload(std::move(value));
        wxQueueEvent(handler, e);
    });
}

}  // namespace sentrel
