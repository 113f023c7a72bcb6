#include "watch/AtomFeed.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <thread>

#include "alerts/AlertJson.h"
#include "base/Translate.h"
#include "content/Libxml.h"
#include "platform/Files.h"
#include "platform/TextRules.h"

namespace sentrel {

namespace {

constexpr const char* kAtomNs = "http://www.w3.org/2005/Atom";
constexpr long long kMaxFeedBytes = 32ll * 1024 * 1024;
constexpr auto kLockWait = std::chrono::seconds(3);

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

// "2026-12-07T18:30:00+08:00" as a time; 0 when it does not read so.
std::time_t ParseIsoTime(const std::string& text) {
    int y, mo, d, h, mi, s, oh = 0, om = 0;
    char sign = 'Z';
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%c%2d:%2d", &y, &mo, &d, &h, &mi, &s,
                    &sign, &oh, &om) < 6)
        return 0;
    // Days since 1970-01-01 of a civil date (proleptic Gregorian).
    y -= mo <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const long yoe = y - era * 400;
    const long doy = (153 * (mo + (mo > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const long days = era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
    long long t = days * 86400LL + h * 3600 + mi * 60 + s;
    const long long offset = oh * 3600LL + om * 60;
    t += sign == '-' ? offset : sign == '+' ? -offset : 0;
    return static_cast<std::time_t>(t);
}

bool IsAtom(const xmlNode* node, const char* name) {
    return node->type == XML_ELEMENT_NODE && node->ns && node->ns->href &&
           std::strcmp(reinterpret_cast<const char*>(node->ns->href), kAtomNs) == 0 &&
           std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
}

std::string Content(const xmlNode* node) {
    const content::XmlApi& xml = content::Xml();
    xmlChar* text = xml.xmlNodeGetContent(node);
    std::string out = text ? reinterpret_cast<const char*>(text) : "";
    xml.Free(text);
    return out;
}

std::string Property(const xmlNode* node, const char* name) {
    const content::XmlApi& xml = content::Xml();
    xmlChar* value = xml.xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    std::string out = value ? reinterpret_cast<const char*>(value) : "";
    xml.Free(value);
    return out;
}

// The feed as libxml2's writer writes it: escaped as XML requires, indented.
class FeedWriter {
  public:
    // Only after Read: libxml2 is ready by then.
    FeedWriter()
        : m_xml(content::Xml()),
          m_buffer(m_xml.xmlBufferCreate()),
          m_writer(m_xml.xmlNewTextWriterMemory(m_buffer, 0)) {}
    ~FeedWriter() {
        if (m_writer) m_xml.xmlFreeTextWriter(m_writer);
        if (m_buffer) m_xml.xmlBufferFree(m_buffer);
    }
    bool Write(const std::string& id, std::time_t updated, const std::deque<AtomFeed::Entry>& entries,
               std::string& out) {
        if (!m_writer) return false;
        m_xml.xmlTextWriterSetIndent(m_writer, 1);
        m_xml.xmlTextWriterSetIndentString(m_writer, BAD_CAST "  ");
        bool ok = m_xml.xmlTextWriterStartDocument(m_writer, "1.0", "utf-8", nullptr) >= 0 &&
                  Start("feed") && Attribute("xmlns", kAtomNs) && Element("id", id) &&
                  Element("title", "HalvexSentrel") &&
                  Element("subtitle", Tr("网页变化、访问失败与恢复")) &&
                  Element("updated", FormatIsoTime(updated)) && Start("author") &&
                  Element("name", "HalvexSentrel") && End() &&
                  Element("generator", "HalvexSentrel sentrel-watch");
        for (const AtomFeed::Entry& e : entries) {
            ok = ok && Start("entry") && Element("id", e.id) && Element("title", e.title) &&
                 Element("updated", e.updated) && Start("link") && Attribute("rel", "alternate") &&
                 Attribute("href", e.link) && End() && Start("category") &&
                 Attribute("term", e.category) && End() && Element("summary", e.summary) && End();
        }
        ok = ok && End() && m_xml.xmlTextWriterEndDocument(m_writer) >= 0;
        m_xml.xmlFreeTextWriter(m_writer);  // flushes into the buffer
        m_writer = nullptr;
        if (!ok) return false;
        out.assign(reinterpret_cast<const char*>(m_xml.xmlBufferContent(m_buffer)),
                   static_cast<std::size_t>(m_xml.xmlBufferLength(m_buffer)));
        return true;
    }

  private:
    bool Start(const char* name) {
        return m_xml.xmlTextWriterStartElement(m_writer, BAD_CAST name) >= 0;
    }
    bool End() { return m_xml.xmlTextWriterEndElement(m_writer) >= 0; }
    bool Attribute(const char* name, const std::string& value) {
        return m_xml.xmlTextWriterWriteAttribute(m_writer, BAD_CAST name,
                                                 BAD_CAST XmlSafe(value).c_str()) >= 0;
    }
    bool Element(const char* name, const std::string& text) {
        return m_xml.xmlTextWriterWriteElement(m_writer, BAD_CAST name,
                                               BAD_CAST XmlSafe(text).c_str()) >= 0;
    }

    const content::XmlApi& m_xml;
    xmlBufferPtr m_buffer;
    xmlTextWriterPtr m_writer;
};

// The feed file itself, locked while it is read and replaced. A writer that waited for a
// file that was replaced meanwhile locks the new one; a feed not made yet is made empty.
class FeedLock {
  public:
    ~FeedLock() {
        if (m_fd >= 0) ::close(m_fd);
    }
    bool Take(const std::string& path, std::string& error) {
        const auto until = std::chrono::steady_clock::now() + kLockWait;
        for (;;) {
            m_fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
            if (m_fd < 0 && errno == ENOENT)
                m_fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            struct stat held {}, named {};
            if (m_fd < 0 || ::fstat(m_fd, &held) != 0) {
                if (errno == EEXIST) continue;  // another writer made it first
                error = path + ": " + std::strerror(errno);
                return false;
            }
            if (!S_ISREG(held.st_mode)) {
                error = path + ": " + Tr("不是普通文件");
                return false;
            }
            if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
                if (::stat(path.c_str(), &named) == 0 && named.st_ino == held.st_ino &&
                    named.st_dev == held.st_dev)
                    return true;
            } else if (errno != EWOULDBLOCK) {
                return true;  // a folder without locks (some network ones): written as before
            }
            ::close(m_fd);
            m_fd = -1;
            if (std::chrono::steady_clock::now() >= until) {
                error = Fill(Tr("{0} 正被另一个程序写入"), {path});
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

  private:
    int m_fd = -1;
};

}  // namespace

std::string XmlSafe(const std::string& text) {
    const std::string valid = ValidUtf8(text);
    std::string out;
    out.reserve(valid.size());
    for (std::size_t i = 0; i < valid.size(); ++i) {
        const auto c = static_cast<unsigned char>(valid[i]);
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            out += "\xEF\xBF\xBD";
        } else if (c == 0xEF && i + 2 < valid.size() && valid[i + 1] == '\xBF' &&
                   (valid[i + 2] == '\xBE' || valid[i + 2] == '\xBF')) {
            out += "\xEF\xBF\xBD";  // U+FFFE, U+FFFF
            i += 2;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool AtomFeed::Read(std::string& id, std::deque<Entry>& entries, std::string& error) const {
    id.clear();
    entries.clear();
    const content::XmlApi* xml = content::PrepareLibxml();
    if (!xml) {
        error = Tr("无法载入 libxml2");
        return false;
    }
    const fs::Kind kind = fs::KindOf(m_strPath);
    if (kind == fs::Kind::kMissing) return true;
    // Only a regular file is a feed: a pipe of that name would hold the program for ever.
    std::FILE* in = fs::OpenRegular(m_strPath, error);
    if (!in) return false;
    std::string bytes;
    char chunk[65536];
    std::size_t got;
    while (static_cast<long long>(bytes.size()) <= kMaxFeedBytes &&
           (got = std::fread(chunk, 1, sizeof chunk, in)) > 0)
        bytes.append(chunk, got);
    std::fclose(in);
    if (bytes.empty()) return true;  // made by a writer that could not write it: a new feed
    const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
    auto parse = [&](const std::string& b) {
        return b.size() > static_cast<std::size_t>(kMaxFeedBytes)
                   ? nullptr
                   : xml->xmlReadMemory(b.data(), static_cast<int>(b.size()), nullptr, "utf-8",
                                        options);
    };
    xmlDoc* doc = parse(bytes);
    // An older writer left characters XML forbids in it: read it as it was meant.
    if (!doc) doc = parse(XmlSafe(bytes));
    std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> owner(doc, xml->xmlFreeDoc);
    const xmlNode* root = doc ? xml->xmlDocGetRootElement(doc) : nullptr;
    if (!root || !IsAtom(root, "feed")) {
        error = Fill(Tr("{0} 不是 Atom 订阅源，未改动"), {m_strPath});
        return false;
    }
    for (const xmlNode* n = root->children; n; n = n->next) {
        if (IsAtom(n, "id")) {
            id = TrimBlanks(Content(n));
            continue;
        }
        if (!IsAtom(n, "entry")) continue;
        Entry e;
        for (const xmlNode* f = n->children; f; f = f->next) {
            if (IsAtom(f, "id")) e.id = TrimBlanks(Content(f));
            else if (IsAtom(f, "title")) e.title = Content(f);
            else if (IsAtom(f, "updated")) e.updated = TrimBlanks(Content(f));
            else if (IsAtom(f, "link")) e.link = Property(f, "href");
            else if (IsAtom(f, "category")) e.category = Property(f, "term");
            else if (IsAtom(f, "summary")) e.summary = Content(f);
        }
        e.when = ParseIsoTime(e.updated);
        if (!e.id.empty()) entries.push_back(std::move(e));
    }
    return true;
}

bool AtomFeed::Load(std::string& error) {
    std::string id;
    std::deque<Entry> entries;
    return Read(id, entries, error);
}

void AtomFeed::Add(const AlertReport& r) {
    Entry e;
    e.id = NewUuidUrn();
    e.title = ReportTitle(r.kind) + " " + (r.note.empty() ? r.url : r.note);
    e.updated = FormatIsoTime(r.when);
    e.when = r.when;
    e.link = r.url;
    e.category = ReportKindName(r.kind);
    e.summary = r.url + ReportDetails(r);
    m_pending.push_front(std::move(e));
    while (m_pending.size() > kMaxEntries) m_pending.pop_back();
}

bool AtomFeed::Write(std::string& error) {
    if (m_pending.empty()) return true;
    FeedLock lock;
    if (!lock.Take(m_strPath, error)) return false;
    std::string id;
    std::deque<Entry> entries;
    if (!Read(id, entries, error)) return false;
    if (id.empty()) id = NewUuidUrn();
    // Ours, then the file's, newest first; an entry the file holds already is not added twice.
    for (auto mine = m_pending.rbegin(); mine != m_pending.rend(); ++mine)
        if (std::none_of(entries.begin(), entries.end(), [&](const Entry& e) { return e.id == mine->id; }))
            entries.push_front(*mine);
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.when > b.when; });
    while (entries.size() > kMaxEntries) entries.pop_back();
    const std::time_t updated = entries.empty() ? std::time(nullptr) : entries.front().when;
    std::string out;
    if (!FeedWriter().Write(id, updated, entries, out)) {
        error = m_strPath + ": " + Tr("订阅源无法生成");
        return false;
    }
    // Written whole: a reader never sees half a feed. A feed is for others to read: the
    // rights of the file it replaces, else the usual.
    if (fs::WriteWhole(m_strPath, out, fs::Rights::LikeTarget, error) != fs::Written::Whole) return false;
    m_pending.clear();
    return true;
}

}  // namespace sentrel
