#pragma once
// How one mail ended, and where a mail's end is posted.
#include <string>

#include "base/PostTarget.h"

namespace sentrel {

enum class MailOutcome {
    Sent,
    NotSent,   ///< the reason says why
    NoClient,  ///< the mail client could not start (its sockets)
};
struct MailResult {
    MailOutcome outcome = MailOutcome::Sent;
    std::string reason;
};
using MailTarget = PostTargetPtr<MailResult>;

}  // namespace sentrel
