#include "app/ModalDialogs.h"

#include <wx/app.h>
#include <wx/dialog.h>

#include "app/Desktop.h"

namespace sentrel {

int CModalDialogs::Enter(wxDialog* dlg) {
    m_open.emplace_back(dlg);
    // Its loop runs only after this returns: ended from within that loop.
    if (m_bCancelling) wxTheApp->CallAfter([this] { CancelAll(); });
    return wxID_NONE;  // shown as usual
}

void CModalDialogs::Exit(wxDialog* dlg) {
    for (auto it = m_open.begin(); it != m_open.end(); ++it)
        if (it->get() == dlg) {
            m_open.erase(it);
            break;
        }
}

void CModalDialogs::CancelAll() {
    m_bCancelling = true;
    for (auto it = m_open.rbegin(); it != m_open.rend(); ++it)
        if (wxDialog* dlg = it->get()) CancelModalDialog(dlg);
}

int CModalDialogs::OpenCount() const {
    return static_cast<int>(m_open.size());
}

}  // namespace sentrel
