#pragma once
// When a text row's change is worth telling: conditions one a line, any one of which makes
// a change alert. Without any, every change alerts.
//   added:TEXT, added:/RE/      an added line holds it
//   removed:TEXT, removed:/RE/  a removed line holds it
//   appears:TEXT, disappears:TEXT   a line of the text holds it now and did not before, or
//                                   the reverse
//   below:N, above:N            the text's number (see PageNumber.h) is now strictly below
//                               (above) N and was not before: once a crossing
//   change:P%                   the number moved by at least P percent either way since
//                               the last version that alerted
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace sentrel {

class AlertRules {
  public:
    AlertRules();
    ~AlertRules();
    AlertRules(AlertRules&&) noexcept;
    AlertRules& operator=(AlertRules&&) noexcept;

    /// Reads the conditions, one a line (blank lines are none). False with the problem of
    /// the first that does not read, naming its line (and a long one by its start).
    bool Parse(const std::string& rules, std::string& error);
    bool Empty() const { return m_rules.empty(); }
    /// The conditions as written, in order.
    std::vector<std::string> Written() const;

    /// What a change is judged on. `before` is the previous version's text (empty when
    /// none is kept); `added` and `removed` every line that came and went; `base` the
    /// number of the last version that alerted, when there is one.
    struct Change {
        const std::string& before;
        const std::string& now;
        const std::vector<std::string>& added;
        const std::vector<std::string>& removed;
        bool bHaveBase = false;
        double base = 0;
    };
    /// What judging one change may spend: a time, and a question that ends it early.
    struct Budget {
        std::chrono::steady_clock::time_point deadline;
        std::function<bool()> stop;
    };
    struct Outcome {
        enum Kind {
            NotMet,
            Met,      ///< `rule`, the first met, as written
            TooSlow,  ///< `rule` needs more than the budget (or its bound on a line)
            Stopped,  ///< the budget's stop asked to end
        };
        Kind kind = NotMet;
        std::string rule;
    };
    /// How the change stands with the conditions, in order, within the budget: a condition
    /// that cannot be decided within it is never taken as not met.
    Outcome Judge(const Change& change, const Budget& budget) const;
    /// The same without a bound of time (a few lines: tests, a preview).
    std::string Met(const Change& change) const;

    /// How the current text stands with each condition, for a preview: met, not met, or
    /// only known at a change (removed:, change:).
    enum class Standing { Met, NotMet, AtAChange };
    std::vector<Standing> Now(const std::string& text) const;

  private:
    struct Rule;
    std::vector<std::unique_ptr<Rule>> m_rules;
};

}  // namespace sentrel
