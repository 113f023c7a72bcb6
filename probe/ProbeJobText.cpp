// What a probe makes of the page it read: the text of its body, or of the document a
// browser left once the page's scripts ran; a bot check instead of the page is no text.
#include "content/BlockSigns.h"
#include "content/TextHash.h"
#include "probe/ProbeJob.h"
#include "probe/Renderer.h"

namespace sentrel {

ProbeJob::Step ProbeJob::Read(const std::function<bool()>& stop) {
    const CRunFlag* abort = m_pAbort;
    const std::function<bool()> stopped = [&stop, abort] { return (abort && abort->IsAborted()) || (stop && stop()); };
    if (m_kind != Kind::Render) {
        if (content::LooksLikeBotCheck(m_raw)) {
            std::string().swap(m_raw);
            return Finish(ProbeResult::Failed(ProbeFailure::Blocked));
        }
        TextOf(m_t.contentType, m_raw, stopped);
        std::string().swap(m_raw);  // a text row keeps no body after its probe
    } else {
        Renderer::Page page = Renderer::Shared().Render(m_url, stopped, m_pRoute);
        if (page.bProxy) return Finish(ProbeResult::ProxyFailed(page.net, page.nHttpStatus));
        if (page.failure != ProbeFailure::None)
            return Finish(page.failure == ProbeFailure::Network
                          ? ProbeResult::Failed(page.net)
                          : ProbeResult::Failed(page.failure, std::move(page.detail), page.nHttpStatus));
        if (content::LooksLikeBotCheck(page.html)) return Finish(ProbeResult::Failed(ProbeFailure::Blocked));
        // The document as the browser holds it, in UTF-8 whatever its meta says.
        TextOf("text/html; charset=utf-8", page.html, stopped);
    }
    // Judged where it was read: no condition holds the loop that schedules probes.
    if (m_pJudge && m_result.Ok()) m_pJudge->Judge(m_result, stopped);
    return Step::Done;
}

ProbeJob::Step ProbeJob::TextOf(std::string_view contentType, std::string_view body,
                                const std::function<bool()>& stop) {
    static const content::PageReader kWholePage;
    content::ReadBounds bounds;
    bounds.stop = stop;
    auto text = std::make_shared<std::string>();
    std::string rule;
    const auto outcome = (m_pReader ? *m_pReader : kWholePage).Read(contentType, body, *text, bounds, &rule);
    switch (outcome) {
        case content::PageReader::Outcome::Ok:
            break;
        case content::PageReader::Outcome::NoMatch:
            return Finish(ProbeResult::Failed(ProbeFailure::NoMatch));
        case content::PageReader::Outcome::TooComplex:
            return Finish(ProbeResult::Failed(ProbeFailure::TooComplex));
        case content::PageReader::Outcome::SlowRule:
            return Finish(ProbeResult::SlowRule(rule));
        case content::PageReader::Outcome::Stopped:
            return Finish(ProbeResult::Failed(NetFailure::Cancelled));
        case content::PageReader::Outcome::NoLibrary:
            return Finish(ProbeResult::Failed(ProbeFailure::NoTextLibrary));
    }
    // A text of 2 GB cannot come from a body of 16 MB: the size is its length.
    ProbeResult result = ProbeResult::Text(static_cast<int>(text->size()), content::TextHash(*text));
    m_validators = m_nHop == 0
                       ? PageValidators{result.nSize, m_t.etag, m_t.lastModified, result.nHash}
                       : PageValidators{result.nSize, {}, {}, result.nHash};
    result.text = std::move(text);
    return Finish(result);
}

}  // namespace sentrel
