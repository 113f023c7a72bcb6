#pragma once
// Message texts shared by the SMTP client's parts (EncodeBase64, EncodeHeaderText and
// FormatMailDate are declared in SmtpClient.h).
#include <string>

namespace sentrel {

/// True when the body cannot travel as 8bit text: a line beyond SMTP's 998 bytes, a NUL,
/// or a CR or LF that is not part of a CR LF pair.
bool NeedsBase64(const std::string& body);
/// A unique id for the Message-ID header, at the sender's domain.
std::string NewMessageId(const std::string& from);

}  // namespace sentrel
