#pragma once
// libcurl's handles and the probe's steps, declared for headers that only hold them.
typedef void CURL;
typedef void CURLM;
struct curl_slist;

namespace sentrel {
class ProbeJob;
enum class ProbeStep;
}  // namespace sentrel
