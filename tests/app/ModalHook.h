#pragma once
// wxTEST_DIALOG reports through GoogleTest, and a dialog nobody expected is cancelled
// instead of waiting for a user who is not there.
#include <gtest/gtest.h>
#include <wx/msgdlg.h>
#include <wx/testing.h>

#include <string>

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

/// Expects a message box with exactly this text, and answers it.
class ExpectMessage : public wxExpectModal<wxMessageDialog> {
  public:
    explicit ExpectMessage(const char* text, int answer = wxID_OK)
        : wxExpectModal<wxMessageDialog>(answer), m_text(text), m_answer(answer) {}

  protected:
    int OnInvoked(wxMessageDialog* dlg) const override {
        EXPECT_EQ(m_text, dlg->GetMessage().utf8_string());
        return m_answer;
    }

  private:
    std::string m_text;
    int m_answer;
};

/// Expects a message box whose text starts with `prefix`.
class ExpectMessageStarting : public wxExpectModal<wxMessageDialog> {
  public:
    explicit ExpectMessageStarting(const char* prefix)
        : wxExpectModal<wxMessageDialog>(wxID_OK), m_prefix(prefix) {}

  protected:
    int OnInvoked(wxMessageDialog* dlg) const override {
        EXPECT_EQ(0u, dlg->GetMessage().utf8_string().find(m_prefix)) << dlg->GetMessage();
        return wxID_OK;
    }

  private:
    std::string m_prefix;
};
