#pragma once
// Inside this module: what reading one page may still spend. Hostile pages are built to
// make a parser or a matcher slow; every loop over a page's parts spends from this, and
// the reading ends once it is spent or the program asks it to stop.
#include <chrono>
#include <cstddef>

#include "content/ReadBounds.h"

namespace sentrel {
namespace content {

class Budget {
  public:
    explicit Budget(const ReadBounds& bounds)
        : m_deadline(std::chrono::steady_clock::now() + bounds.time),
          m_stop(bounds.stop),
          m_nMaxNodes(bounds.maxNodes) {}

    /// Spends `steps` of work; true while reading may go on. The clock and the stop flag
    /// are asked every so many steps, never per step.
    bool Spend(std::size_t steps = 1) {
        m_nSteps += steps;
        if (m_nSteps >= m_nNextCheck) Check();
        return m_outcome == ReadOutcome::Ok;
    }
    /// One more node of a page's tree; false past the bound.
    bool Node() {
        if (++m_nNodes > m_nMaxNodes) m_outcome = ReadOutcome::TooComplex;
        return Spend();
    }
    /// Asks the clock and the flag now (between pieces of a parse).
    bool Check() {
        m_nNextCheck = m_nSteps + kStepsPerCheck;
        if (m_outcome != ReadOutcome::Ok) return false;
        if (m_stop && m_stop())
            m_outcome = ReadOutcome::Stopped;
        else if (std::chrono::steady_clock::now() >= m_deadline)
            m_outcome = ReadOutcome::TooComplex;
        return m_outcome == ReadOutcome::Ok;
    }
    /// Ok while not spent; else why reading ended.
    ReadOutcome Outcome() const { return m_outcome; }
    void Fail(ReadOutcome why) { m_outcome = why; }

  private:
    static constexpr std::size_t kStepsPerCheck = 512;
    std::chrono::steady_clock::time_point m_deadline;
    const std::function<bool()>& m_stop;
    std::size_t m_nMaxNodes;
    std::size_t m_nSteps = 0, m_nNextCheck = 0, m_nNodes = 0;
    ReadOutcome m_outcome = ReadOutcome::Ok;
};

}  // namespace content
}  // namespace sentrel
