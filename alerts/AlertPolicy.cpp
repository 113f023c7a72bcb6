#include "alerts/AlertPolicy.h"

#include <algorithm>

#include "alerts/ChangeText.h"
#include "base/Translate.h"
#include "platform/Files.h"
#include "platform/TextRules.h"

namespace sentrel {

namespace {
using TimePoint = std::chrono::steady_clock::time_point;
constexpr TimePoint kNever = TimePoint::max();
}  // namespace

AlertPolicy::AlertPolicy(WatchSession& session, const Settings& settings, Options options,
                         const Clock& clock)
    : m_session(session), m_settings(settings), m_options(options), m_clock(clock) {
    m_reported.reserve(session.Rows().size());
    for (const WatchRow& row : session.Rows()) m_reported[row.id] = row.nStoredSize;
    session.Subscribe([this](const WatchEvent& e) { OnEvent(e); });
}

AlertPolicy::Refusal AlertPolicy::CanStart(int interval) const {
    const int rows = m_session.RowCount();
    if (rows == 0) return kNoRows;
    if (m_options.nRowLimit > 0 && rows > m_options.nRowLimit) return kTooManyRows;
    const int wanted = interval ? interval : m_settings.m_nInterval;
    if (!m_options.bClampInterval && wanted < keys::kInterval.least) return kBadInterval;
    return kNone;
}

std::string AlertPolicy::RefusalText(Refusal refusal) {
    switch (refusal) {
        case kNoRows:
            return Tr("列表中没有发现任何要监控的网址！");
        case kTooManyRows:
            return Tr("不允许同时监控50个以上的网址！");
        case kBadInterval:
            return Tr("监控间隔不能小于1秒！");
        case kNone:
            break;
    }
    return "";
}

WatchSession::RunOptions AlertPolicy::RunOptions(int interval) const {
    WatchSession::RunOptions run;
    run.nInterval = keys::kInterval.Clamp(interval ? interval : m_settings.m_nInterval);
    // One pass has no second probe to confirm a failure with.
    run.nFailAfter = m_options.bOnePass ? 1 : keys::kFailAfter.Clamp(m_settings.m_nFailAfter);
    run.nHistoryDepth = keys::kHistoryDepth.Clamp(m_settings.m_nHistoryDepth);
    run.nHistoryMb = keys::kHistoryMb.Clamp(m_settings.m_nHistoryMb);
    run.proxy = m_settings.m_strProxy;
    return run;
}

std::string AlertPolicy::FailingSince(const WatchRow& row) const {
    if (row.status != RowStatus::Failing || row.failingSince == 0) return std::string();
    std::tm t{}, today{};
    LocalTime(row.failingSince, t);
    LocalTime(m_clock.Time(), today);
    // The status line is short: the date only when it is not today's.
    const bool sameDay = t.tm_yday == today.tm_yday && t.tm_year == today.tm_year;
    return Fill(Tr("{0} 起访问失败"), {FormatLocalTime(row.failingSince, sameDay ? "%H:%M:%S" : "%m-%d %H:%M")});
}

void AlertPolicy::OnEvent(const WatchEvent& e) {
    const int index = m_session.IndexOf(e.id);
    // A copy: what the program does with an event may change the list.
    const WatchRow row = index >= 0 ? m_session.Row(index) : WatchRow();
    switch (e.kind) {
        case WatchEvent::RowsChanged:
            if (index >= 0 && !m_reported.count(e.id)) m_reported[e.id] = row.nStoredSize;
            Signal();  // marks may have gone with their rows
            break;
        case WatchEvent::SizeStored:
            Due(m_saveDue, m_options.saveDelay);  // a measured size survives a crash too
            break;
        case WatchEvent::Marked:
            if (index >= 0) Marked(row, e.bNewMark);
            break;
        case WatchEvent::Unmarked:
            Signal();
            break;
        case WatchEvent::Failing:
            if (index < 0) break;
            Notice(EventKind::Failing, e.id);
            if (!Tell(EventKind::Failing, row, -1, -1)) break;
            if (!m_options.bOnePass) Mail(EventKind::Failing, row);
            break;
        case WatchEvent::Recovered:
            if (index < 0) break;
            Notice(EventKind::Recovered, e.id);
            if (Tell(EventKind::Recovered, row, -1, -1)) Mail(EventKind::Recovered, row);
            break;
        case WatchEvent::Quiet:
            // Kept and not told: only a reader of every event hears of it.
            if (index >= 0) Tell(EventKind::Quiet, row, m_reported[row.id], row.nLastSize);
            if (m_options.bKeepReportedSize) m_reported[e.id] = row.nLastSize;
            break;
        case WatchEvent::RowChanged:
        case WatchEvent::Ended:
            break;
    }
}

void AlertPolicy::Marked(const WatchRow& row, bool bNewMark) {
    Signal();
    if (bNewMark) Notice(EventKind::Changed, row.id);
    // A change that could not be told is not kept as told: the next run tells it.
    if (!Tell(EventKind::Changed, row, m_reported[row.id], row.nLastSize)) return;
    m_reported[row.id] = row.nLastSize;
    Mail(EventKind::Changed, row);  // one mail per reported change, marked before or not
    // Told once: a restart compares with the size reported here.
    if (m_options.bKeepReportedSize) m_session.KeepReportedSize(row.id);
}

void AlertPolicy::Signal() {
    if (m_settings.m_bAlertWav && m_pSignal) m_pSignal->MarksPending(!m_session.Marks().empty());
}

void AlertPolicy::Notice(EventKind kind, RowId id) {
    if (!m_settings.m_bNotify || !m_pNotifier) return;
    // A start after a night away, or a site's outage, may mark or fail many pages at once:
    // one notification for each kind of them.
    if (m_notices.Add(kind, id)) Due(m_noticesDue, NoticeBatch::kWindow);
}

bool AlertPolicy::Tell(EventKind kind, const WatchRow& row, long long oldSize,
                       long long newSize) {
    // Quiet changes are for the output alone, never for hooks.
    Hooks* hooks = kind == EventKind::Quiet ? nullptr : m_pHooks;
    if (!m_pReporter && !hooks) return true;
    AlertReport report;
    report.kind = kind;
    report.when = m_clock.Time();
    report.url = WithoutPassword(row.url);  // told to others: never its password
    report.note = row.note;
    report.nOldSize = oldSize;
    report.nNewSize = newSize;
    if (kind == EventKind::Failing) report.reason = row.lastFailure.Reason();
    if ((kind == EventKind::Changed || kind == EventKind::Quiet) && row.compare.Text()) {
        report.bText = true;
        report.added = row.Changes().added;
        report.removed = row.Changes().removed;
        if (kind == EventKind::Changed) report.because = row.because;
    }
    if (hooks) hooks->Deliver(m_settings, report);
    return !m_pReporter || m_pReporter->Report(report);
}

void AlertPolicy::Mail(EventKind kind, const WatchRow& row) {
    if (!m_settings.m_bAlertEmail || !m_pMailer) return;
    if (kind != EventKind::Changed && !m_settings.m_bMailOnFailure) return;
    AlertMail mail{kind, row.id, WithoutPassword(row.url), row.lastFailure.Reason(), {}};
    if (kind == EventKind::Changed && row.compare.Text()) {
        mail.changes = MailChangeLines(row.Changes());
        if (!row.because.empty()) mail.changes = BecauseText(row.because) + "\r\n" + mail.changes;
    }
    m_pMailer->Send(mail);
}

void AlertPolicy::Due(TimePoint& slot, std::chrono::milliseconds after) {
    if (slot != kNever) return;  // due already: a burst is one batch, one save
    slot = m_clock.Now() + after;
    if (m_fnWakeUp) m_fnWakeUp(NextDue());
}

void AlertPolicy::ListChanged() {
    Due(m_saveDue, m_options.saveDelay);
}

TimePoint AlertPolicy::NextDue() const {
    return std::min(m_noticesDue, m_saveDue);
}

void AlertPolicy::Poll() {
    const TimePoint now = m_clock.Now();
    if (m_noticesDue <= now) {
        m_noticesDue = kNever;
        for (const DesktopNotice& notice : m_notices.Flush(m_session))
            if (m_pNotifier) m_pNotifier->Show(notice);
    }
    if (m_saveDue <= now) SaveNow();
    // A timer that came a little early: the program is woken again for what is still due.
    if (NextDue() != kNever && m_fnWakeUp) m_fnWakeUp(NextDue());
}

void AlertPolicy::SaveNow() {
    m_saveDue = kNever;
    if (m_pKeeper) m_pKeeper->Save();
}

}  // namespace sentrel
