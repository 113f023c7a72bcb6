#pragma once
// wxTEST_DIALOG reports through GoogleTest, and a dialog nobody expected is cancelled
// instead of waiting for a user who is not there.
#include <gtest/gtest.h>
#include <wx/testing.h>

class GTestModalHook : public wxTestingModalHook {
  public:
    GTestModalHook(const char* file, int line, const char* func)
        : wxTestingModalHook(file, line, func) {}

  protected:
    int Enter(wxDialog* dlg) override {
        int result = wxTestingModalHook::Enter(dlg);
        return result == wxID_NONE ? wxID_CANCEL : result;
    }
    void ReportFailure(const wxString& msg) override { ADD_FAILURE() << msg.utf8_string(); }
};

#undef wxTEST_DIALOG_HOOK_CLASS
#define wxTEST_DIALOG_HOOK_CLASS GTestModalHook
