#pragma once
#include <wx/modalhook.h>
#include <wx/weakref.h>

#include <vector>

namespace sentrel {

/// The modal dialogs open in the program, so that a quit can end them: a dialog left
/// open would hold the exit (and everything after it) until someone answers it.
class CModalDialogs : public wxModalDialogHook {
  public:
    CModalDialogs() { Register(); }
    ~CModalDialogs() override { Unregister(); }

    /// Ends every open dialog as Cancel, innermost first; one opened later is ended at once.
    void CancelAll();
    int OpenCount() const;

  protected:
    int Enter(wxDialog* dlg) override;
    void Exit(wxDialog* dlg) override;

  private:
    std::vector<wxWeakRef<wxDialog>> m_open;
    bool m_bCancelling = false;
};

}  // namespace sentrel
