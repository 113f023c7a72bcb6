// Text rows: what reading a page's text costs.
//  (a) extraction of a realistic 250 KB page without a region against a bare parse of the
//      same bytes by the same library (libxml2's push parser, no callbacks);
//  (b) one sentrel-watch --once pass over such pages in text mode against urlwatch's CPU
//      per page with `css: body` and `html2text` filters (Debian's urlwatch), both on the
//      same loopback server;
//  (c) 2,000 text rows of such pages in one pass: peak resident memory.
#include <libxml/HTMLparser.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "BenchUtil.h"
#include "content/Charset.h"
#include "content/PageText.h"
#include "store/UrlStore.h"
#include "testsupport/Process.h"
#include "testsupport/TempDir.h"
#include "testsupport/TestServer.h"

using namespace sentrel;
using namespace sentrel::test;

namespace {

// A page as news sites make them today: a head of styles and scripts (with a large JSON
// state blob), navigation and sidebars of links in nested, classed markup, inline SVG
// icons, and an article of paragraphs in two languages. About 250 KB, a tenth of it text.
std::string RealisticPage(int variant) {
    const std::string v = std::to_string(variant);
    std::string p = "<!DOCTYPE html><html lang=zh><head><meta charset=utf-8><title>新闻 " + v +
                    "</title><meta name=viewport content='width=device-width'>";
    for (int i = 0; i < 12; ++i)
        p += "<link rel=preload href='/static/chunk-" + std::to_string(i) + ".js' as=script>";
    p += "<style>";
    for (int i = 0; i < 250; ++i)
        p += ".c" + std::to_string(i) + "{margin:0 auto;padding:4px 8px;color:#333;font:14px/1.5 sans-serif}";
    p += "</style>";
    for (int i = 0; i < 6; ++i)
        p += "<script>window.dataLayer=window.dataLayer||[];function g(){dataLayer.push(arguments)}"
             "g('config','UA-" + v + "');" + std::string(2000, 'x') + "</script>";
    p += "<script id=__STATE__ type=application/json>{\"items\":[";
    for (int i = 0; i < 700; ++i)
        p += "{\"id\":" + std::to_string(i) + ",\"title\":\"Headline number " + std::to_string(i) +
             "\",\"url\":\"/a/" + std::to_string(i) + "\"},";
    p += "{}]}</script></head><body class='page home'><div id=app data-v=" + v + ">";
    const std::string icon =
        "<svg class='icon' viewBox='0 0 24 24' aria-hidden=true><path d='M12 2C6.48 2 2 6.48 2 "
        "12s4.48 10 10 10 10-4.48 10-10S17.52 2 12 2zm0 18c-4.41 0-8-3.59-8-8s3.59-8 8-8 8 3.59 "
        "8 8-3.59 8-8 8z'/></svg>";
    p += "<header class='site-header'><nav class='nav'><ul class='nav-list'>";
    for (int i = 0; i < 60; ++i)
        p += "<li class='nav-item c" + std::to_string(i) + "'><a class='nav-link' data-track='nav-" +
             std::to_string(i) + "' href='/s/" + std::to_string(i) + "'>" + icon + "<span>栏目 " +
             std::to_string(i) + "</span></a></li>";
    p += "</ul></nav></header><main class='layout'><article class='story'><h1>Headline " + v + " 标题</h1>";
    for (int i = 0; i < 40; ++i)
        p += "<div class='para-wrap'><p class='para c2'>The quick brown fox jumps over the lazy dog, "
             "<b>again</b> and <a href='/x'>again</a>. 敏捷的棕色狐狸跳过了懒狗。 Prices from "
             "&euro;199 to &euro;299 apply.</p></div>\n  <!-- ad slot " + std::to_string(i) + " -->";
    p += "</article><aside class='sidebar'>";
    while (p.size() < 245 * 1024) {
        p += "<div class='card c" + std::to_string(p.size() % 250) + "'><div class='card-inner'>"
             "<a class='card-link' href='/a/" + std::to_string(p.size()) + "' data-track='side'>"
             "<img class='thumb' src='/i/" + std::to_string(p.size()) + ".jpg' alt='' loading=lazy "
             "width=80 height=60><span class='card-title'>Related story " +
             std::to_string(p.size() % 997) + "</span></a>" + icon + "</div></div>";
    }
    p += "</aside></main><footer><p>© 2026</p><div style='display:none'>tracking</div></footer>"
         "</div></body></html>";
    return p;
}

double BareParse(const std::string& html) {
    const double t0 = bench::ThreadCpuSeconds();
    xmlSAXHandler sax;
    std::memset(&sax, 0, sizeof sax);
    htmlParserCtxtPtr ctxt =
        htmlCreatePushParserCtxt(&sax, nullptr, nullptr, 0, nullptr, XML_CHAR_ENCODING_UTF8);
    htmlCtxtUseOptions(ctxt, HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING |
                                 HTML_PARSE_NONET | HTML_PARSE_IGNORE_ENC);
    htmlParseChunk(ctxt, html.data(), static_cast<int>(html.size()), 1);
    htmlFreeParserCtxt(ctxt);
    return bench::ThreadCpuSeconds() - t0;
}

double Extract(const std::string& html) {
    const double t0 = bench::ThreadCpuSeconds();
    content::PageReader reader;
    std::string text;
    reader.Read("text/html; charset=utf-8", html, text);
    return bench::ThreadCpuSeconds() - t0;
}

double WaitCpu(pid_t pid, long* peakKb = nullptr) {
    int status = 0;
    rusage ru{};
    wait4(pid, &status, 0, &ru);
    if (peakKb) *peakKb = ru.ru_maxrss;
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// CPU seconds of one sentrel-watch --once pass over `urls` in text mode (after a first pass
// that stored the texts), and its peak resident memory.
double WatchPass(const std::string& bin, const std::vector<std::string>& urls, long& peakKb) {
    TempDir home;
    std::vector<UrlRow> rows;
    for (const std::string& u : urls) rows.push_back({u, "", "0", "", "", "text"});
    std::string error;
    UrlStore(home.File("user.mdb")).Save(rows, error);
    const std::vector<std::string> env = {"SENTREL_HOME=" + home.Path()};
    WaitCpu(Spawn({bin + "/sentrel-watch", "--once"}, env));
    return WaitCpu(Spawn({bin + "/sentrel-watch", "--once"}, env), &peakKb);
}

double UrlwatchPass(const std::vector<std::string>& urls) {
    TempDir dir;
    std::ofstream jobs(dir.File("urls.yaml"));
    for (std::size_t i = 0; i < urls.size(); ++i)
        jobs << (i ? "---\n" : "") << "url: \"" << urls[i] << "\"\nfilter:\n  - css: body\n  - html2text\n";
    jobs.close();
    std::ofstream(dir.File("urlwatch.yaml")) << "display:\n  new: false\n  error: false\n  unchanged: false\n";
    const std::vector<std::string> args = {"/usr/bin/urlwatch", "--urls", dir.File("urls.yaml"),
                                           "--config", dir.File("urlwatch.yaml"), "--cache",
                                           dir.File("cache.db")};
    WaitCpu(Spawn(args, {"HOME=" + dir.Path()}));
    return WaitCpu(Spawn(args, {"HOME=" + dir.Path()}));
}

}  // namespace

int main(int argc, char** argv) {
    const std::string bin = argc > 1 ? argv[1] : ".";
    const std::string page = RealisticPage(1);
    std::printf("text (a): extraction of a %.0f KB page, %zu bytes of text\n", page.size() / 1024.0,
                [&] {
                    std::string t;
                    content::PageReader().Read("text/html", page, t);
                    return t.size();
                }());
    bench::Pairs pairs;
    for (int i = 0; i < 3; ++i) Extract(page), BareParse(page);  // warm
    for (int i = 0; i < 30; ++i) pairs.Add(Extract(page), BareParse(page));
    const bench::Spread e = bench::SpreadOf(pairs.a), b = bench::SpreadOf(pairs.b);
    std::printf("  extraction %.2f ms, bare parse %.2f ms (medians of 30) -> %.2fx\n", e.median * 1e3,
                b.median * 1e3, e.median / b.median);

    TestHttpServer server([&page](TestServer::Conn& c, const std::string&, int) {
        c.Write(TestHttpServer::Response(
            "200 OK", "Content-Type: text/html; charset=utf-8\r\nContent-Length: " +
                          std::to_string(page.size()) + "\r\n",
            page));
    });
    const int n = argc > 2 ? std::atoi(argv[2]) : 200;
    std::vector<std::string> urls;
    for (int i = 0; i < n; ++i) urls.push_back(server.Url("/p" + std::to_string(i)));
    long peak = 0;
    const double watch = WatchPass(bin, urls, peak) / n;
    const double uw = UrlwatchPass(urls) / n;
    std::printf("text (b): one pass over %d pages: sentrel-watch %.2f ms CPU a page, urlwatch "
                "(css: body, html2text) %.2f ms -> %.3fx\n",
                n, watch * 1e3, uw * 1e3, watch / uw);

    std::vector<std::string> many;
    for (int i = 0; i < 2000; ++i) many.push_back(server.Url("/m" + std::to_string(i)));
    WatchPass(bin, many, peak);
    std::printf("text (c): 2,000 text rows of %.0f KB in one pass: peak RSS %.1f MB\n",
                page.size() / 1024.0, peak / 1024.0);
}
