#pragma once
#include <gtest/gtest.h>
#include <wx/app.h>

#include <cstdlib>
#include <memory>

#include "WindowDriver.h"
#include "app/MonitorApp.h"
#include "app/MonitorDlg.h"
#include "testsupport/TempDir.h"

namespace sentrel::test {

/// A main window of its own, with a fresh program directory.
class DialogFixture : public ::testing::Test {
  protected:
    void SetUp() override { setenv("SENTREL_HOME", m_home.Path().c_str(), 1); }
    void TearDown() override {
        Close();
        unsetenv("SENTREL_HOME");
    }
    CMonitorDlg* Open(std::unique_ptr<CAlertSound> sound = nullptr) {
        Close();
        CMonitorApp::StartCore();
        m_dlg = new CMonitorDlg(std::move(sound));
        m_dlg->Show();
        Pump();
        return m_dlg;
    }
    /// The orderly shutdown and destruction, as the program ends.
    void Close() {
        if (!m_dlg) return;
        CMonitorApp::Shutdown(*m_dlg);
        delete m_dlg;
        m_dlg = nullptr;
        CMonitorApp::EndCore();
    }
    static void Pump() {
        for (int i = 0; i < 10; ++i) wxYield();
    }
    std::string Home(const std::string& name) const { return m_home.File(name); }

    TempDir m_home;
    CMonitorDlg* m_dlg = nullptr;
};

}  // namespace sentrel::test
