#pragma once
// A main window with pages to watch on 127.0.0.1, and a sound player that counts.
#include <wx/app.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "DialogFixture.h"
#include "support/AlertSound.h"
#include "testsupport/TestServer.h"

namespace sentrel::test {

/// Pages whose sizes the test sets: each is answered with that Content-Length, or 404
/// when its size is -1.
class PageServer {
  public:
    PageServer()
        : m_server([this](TestServer::Conn& c, const std::string& head, int) {
              std::string path = head.substr(4, head.find(' ', 4) - 4);
              int size;
              {
                  std::lock_guard<std::mutex> lock(m_mutex);
                  ++m_hits[path];
                  size = m_sizes.count(path) ? m_sizes[path] : 100;
              }
              if (size < 0)
                  c.Write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
              else
                  c.Write("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) +
                          "\r\n\r\n");
              c.Close();
          }) {}
    void Set(const std::string& path, int size) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_sizes[path] = size;
    }
    int Hits(const std::string& path) {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_hits[path];
    }
    std::string Url(const std::string& path) const { return m_server.Url(path); }

  private:
    std::mutex m_mutex;
    std::map<std::string, int> m_sizes;
    std::map<std::string, int> m_hits;
    TestHttpServer m_server;
};

/// Counts plays instead of making a sound.
class CountingSound : public CAlertSound {
  public:
    explicit CountingSound(int* plays) : m_pPlays(plays) {}
    void Play(const std::string&) override { ++*m_pPlays; }

  private:
    int* m_pPlays;
};

/// Handles events until `pred` holds; false when `bound` passed first.
inline bool WaitFor(const std::function<bool()>& pred,
                    std::chrono::milliseconds bound = std::chrono::seconds(10)) {
    auto deadline = std::chrono::steady_clock::now() + bound;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        wxYield();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class MonitorFixture : public DialogFixture {
  protected:
    /// A window with these settings and rows (URL path on the page server, stored size).
    CMonitorDlg* OpenWith(const std::string& ini,
                          const std::vector<std::pair<std::string, std::string>>& rows) {
        Close();  // the previous window stores its settings and list
        WriteFile(Home("sentrel.ini"), ini);
        std::remove(Home("user.mdb").c_str());  // exactly the rows given
        CMonitorDlg* dlg = Open(std::make_unique<CountingSound>(&m_nPlays));
        for (const auto& [path, size] : rows)
            AddRow(dlg, m_pages.Url(path), "", std::atoi(size.c_str()));
        return dlg;
    }
    std::string Cell(int row, int col) const { return test::Cell(m_dlg, row, col); }
    bool IsRed(int row) const { return test::IsRed(m_dlg, row); }
    /// Every row from `first` on shows `status`.
    bool AllRows(const char* status, int first = 0) const {
        for (int i = first; i < m_dlg->Session().RowCount(); ++i)
            if (Cell(i, 2) != status) return false;
        return true;
    }

    PageServer m_pages;
    int m_nPlays = 0;
};

}  // namespace sentrel::test
