#include "AtomFeed.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "AlertJson.h"
#include "Files.h"
#include "TextRules.h"
#include "Translate.h"

namespace sentrel {

namespace {

constexpr const char* kAtomNs = "http://www.w3.org/2005/Atom";

// Text as XML character data: markup escaped, and the characters XML 1.0 cannot hold
// (control characters other than tab and line ends) left out.
std::string Xml(const std::string& text) {
    std::string out;
    for (char c : ValidUtf8(text)) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 && c != '\t' && c != '\n' && c != '\r') continue;
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

// A random (version 4) UUID as a URN: every entry's, and a new feed's, permanent id.
std::string NewUuidUrn() {
    std::random_device random;
    unsigned char b[16];
    for (unsigned char& byte : b) byte = static_cast<unsigned char>(random());
    b[6] = static_cast<unsigned char>((b[6] & 0x0F) | 0x40);
    b[8] = static_cast<unsigned char>((b[8] & 0x3F) | 0x80);
    char text[64];
    std::snprintf(text, sizeof text,
                  "urn:uuid:%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                  b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12],
                  b[13], b[14], b[15]);
    return text;
}

bool IsAtom(xmlNode* node, const char* name) {
    return node->type == XML_ELEMENT_NODE && node->ns && node->ns->href &&
           std::strcmp(reinterpret_cast<const char*>(node->ns->href), kAtomNs) == 0 &&
           std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

}  // namespace

bool AtomFeed::Load(std::string& error) {
    if (fs::KindOf(m_strPath) == fs::Kind::kMissing) return true;
    xmlDoc* doc = xmlReadFile(m_strPath.c_str(), nullptr,
                              XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    xmlNode* root = doc ? xmlDocGetRootElement(doc) : nullptr;
    if (!root || !IsAtom(root, "feed")) {
        if (doc) xmlFreeDoc(doc);
        error = Fill(Tr("{0} 不是 Atom 订阅源，未改动"), {m_strPath});
        return false;
    }
    for (xmlNode* n = root->children; n; n = n->next) {
        if (IsAtom(n, "id")) {
            xmlChar* id = xmlNodeGetContent(n);
            m_strId = TrimBlanks(reinterpret_cast<const char*>(id));
            xmlFree(id);
        } else if (IsAtom(n, "entry") && m_entries.size() < kMaxEntries) {
            // The entry as it stands, namespace declarations left to the feed.
            xmlBuffer* buffer = xmlBufferCreate();
            xmlNodeDump(buffer, doc, n, 1, 0);
            m_entries.emplace_back(reinterpret_cast<const char*>(xmlBufferContent(buffer)));
            xmlBufferFree(buffer);
        }
    }
    xmlFreeDoc(doc);
    return true;
}

void AtomFeed::Add(const AlertReport& r) {
    const std::string summary = r.url + ReportDetails(r);
    const std::string title = ReportTitle(r.kind) + " " + (r.note.empty() ? r.url : r.note);
    std::string entry = "<entry>\n    <id>" + NewUuidUrn() + "</id>\n    <title>" + Xml(title) +
                        "</title>\n    <updated>" + FormatIsoTime(r.when) +
                        "</updated>\n    <link rel=\"alternate\" href=\"" + Xml(r.url) +
                        "\"/>\n    <category term=\"" + ReportKindName(r.kind) +
                        "\"/>\n    <summary>" + Xml(summary) + "</summary>\n  </entry>";
    m_entries.push_front(std::move(entry));
    while (m_entries.size() > kMaxEntries) m_entries.pop_back();
    if (r.when > m_updated) m_updated = r.when;
    m_bDirty = true;
}

bool AtomFeed::Write(std::string& error) {
    if (!m_bDirty) return true;
    if (m_strId.empty()) m_strId = NewUuidUrn();
    const std::time_t updated = m_updated ? m_updated : std::time(nullptr);
    std::string out =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<feed xmlns=\"http://www.w3.org/2005/Atom\">\n"
        "  <id>" + Xml(m_strId) + "</id>\n  <title>HalvexSentrel</title>\n"
        "  <subtitle>" + Xml(Tr("网页变化、访问失败与恢复")) + "</subtitle>\n"
        "  <updated>" + FormatIsoTime(updated) + "</updated>\n"
        "  <author><name>HalvexSentrel</name></author>\n"
        "  <generator>HalvexSentrel sentrel-watch</generator>\n";
    for (const std::string& entry : m_entries) out += "  " + entry + "\n";
    out += "</feed>\n";
    // Written beside it and renamed over it: a reader never sees half a feed.
    std::string tmp;
    std::FILE* f = fs::CreateBeside(m_strPath, tmp);
    if (!f) {
        error = m_strPath + ": " + std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(out.data(), 1, out.size(), f) == out.size() && fs::FlushToDisk(f);
    ok = std::fclose(f) == 0 && ok;
    // A feed is for others to read: the rights of the file it replaces, else the usual.
    ok = ok && fs::GiveRightsOf(m_strPath, tmp);
    if (!ok || !fs::Replace(tmp, m_strPath)) {
        error = m_strPath + ": " + std::strerror(errno);
        fs::Remove(tmp);
        return false;
    }
    m_bDirty = false;
    return true;
}

}  // namespace sentrel
