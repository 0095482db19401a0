// The demo template: reads the Lantern Bay Business Directory, the bundled demo site in
// the "demo" folder next to this file. One record per listing: name, street, town,
// telephone and, with the extras switch on, the e-mail address from the listing's detail
// page, fetched with the service browser.
#include "orvo/IHTMLDocument2.h"
#include "orvo/PluginBase.h"

#include <dlfcn.h>

#include <climits>
#include <cstdlib>
#include <map>
#include <string>

namespace {

using orvo::Ref;

// Marks a field without a value, so it never makes two records duplicates.
constexpr char16_t kNoValue[] = u"\u00A0";
constexpr std::int32_t kDetailTimeoutMs = 20000;

std::u16string copy(const char16_t* s) {
    return s ? std::u16string(s) : std::u16string();
}

// A field must not carry the record text's separators.
std::u16string field(std::u16string s) {
    for (char16_t& c : s)
        if (c == u'\r' || c == u'\n' || c == u'\u00A4')
            c = u' ';
    return s.empty() ? std::u16string(kNoValue) : s;
}

std::u16string evaluate(IHTMLElement* e, const char16_t* xpath) {
    return e ? copy(e->EvaluateXPath(xpath)) : std::u16string();
}

bool hasScheme(const std::u16string& s) {
    const auto colon = s.find(u':');
    if (colon == std::u16string::npos || colon == 0)
        return false;
    for (std::size_t i = 0; i < colon; ++i) {
        const char16_t c = s[i];
        const bool ok =
            (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
            (i > 0 && ((c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.'));
        if (!ok)
            return false;
    }
    return true;
}

// href taken against the page address base: enough for the links of the demo site.
std::u16string resolve(const std::u16string& base, const std::u16string& href) {
    if (href.empty() || hasScheme(href))
        return href;
    std::u16string b = base.substr(0, base.find_first_of(u"?#"));
    if (href[0] == u'/') {
        const auto authority = b.find(u"://");
        if (authority == std::u16string::npos)
            return href;
        const auto pathStart = b.find(u'/', authority + 3);
        return b.substr(0, pathStart) + href;
    }
    const auto slash = b.rfind(u'/');
    return (slash == std::u16string::npos ? b : b.substr(0, slash + 1)) + href;
}

// The file URL of a local path, with everything but unreserved characters and "/"
// percent-encoded.
std::u16string fileUrl(const std::string& path) {
    static const char hex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : path) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '~' ||
                           c == '/';
        if (plain) {
            url.push_back(static_cast<char>(c));
        } else {
            url.push_back('%');
            url.push_back(hex[c >> 4]);
            url.push_back(hex[c & 15]);
        }
    }
    return orvo::FromUtf8(url);
}

// The demo site's home page, in the "demo" folder beside this library's own file.
std::u16string homeUrl() {
    Dl_info info{};
    static const char anchor = 0;
    if (!dladdr(&anchor, &info) || !info.dli_fname)
        return u"about:blank";
    char resolved[PATH_MAX];
    std::string path = realpath(info.dli_fname, resolved) ? resolved : info.dli_fname;
    const auto slash = path.rfind('/');
    path = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
    return fileUrl(path + "/demo/index.html");
}

class DemoDirectory final : public orvo::PluginBase {
public:
    const char16_t* GetName() override { return u"US-DEMO"; }
    const char16_t* GetHomeURL() override { return keep(homeUrl(), 2); }
    const char16_t* GetAuthor() override { return u"Trawlex demo"; }
    const char16_t* GetVersion() override { return u"1.0"; }
    const char16_t* GetColumnNames() override { return u"Name|Street|Town|Telephone|E-mail"; }
    const char16_t* GetColumnWidths() override { return u"230|190|150|130|260|"; }
    std::int32_t GetColumnCount() override { return 5; }
    // Telephone and e-mail are the key columns.
    const char16_t* GetDupeColumns() override { return u"0|0|1|1"; }
    OrvoBool GetUsesBrowser() override { return 1; }
    OrvoBool GetIsSlow() override { return wantsEmail() ? 1 : 0; }

    const char16_t* GetData(IHTMLDocument2* document) override {
        if (!document)
            return keep(std::u16string());
        const std::u16string pageUrl = copy(document->GetURL());
        auto listings = Ref<IHTMLElementCollection>::adopt(document->SelectNodes(
            u"//li[contains(concat(' ', normalize-space(@class), ' '), ' listing ')]"));
        std::u16string records;
        const std::int32_t count = listings ? listings->GetLength() : 0;
        for (std::int32_t i = 0; i < count; ++i) {
            auto item = Ref<IHTMLElement>::adopt(listings->Item(i));
            if (!item)
                continue;
            std::u16string email = kNoValue;
            if (wantsEmail()) {
                const std::u16string href =
                    evaluate(item.get(), u"string(.//*[contains(@class, 'name')]//a/@href)");
                email = detailEmail(resolve(pageUrl, href));
            }
            if (!records.empty())
                records += u"\r\n";
            records += field(evaluate(item.get(), u"normalize-space(.//*[@class='name'])"));
            records += u'\u00A4';
            records += field(evaluate(item.get(), u"normalize-space(.//*[@class='street'])"));
            records += u'\u00A4';
            records += field(evaluate(item.get(), u"normalize-space(.//*[@class='town'])"));
            records += u'\u00A4';
            records += field(evaluate(item.get(), u"normalize-space(.//*[@class='phone'])"));
            records += u'\u00A4';
            records += field(email);
        }
        return keep(records);
    }

    OrvoBool GetNextPage(IHTMLDocument2* document, const char16_t** url) override {
        if (!document || !url)
            return 0;
        const std::u16string href =
            copy(document->EvaluateXPath(u"string(//a[@rel='next']/@href)"));
        if (href.empty())
            return 0;
        *url = keep(resolve(copy(document->GetURL()), href), 1);
        return 1;
    }

private:
    // The address on a listing's detail page, each page fetched once per template load;
    // the marker when there is none, the capture is being stopped, or the page does not
    // come.
    std::u16string detailEmail(const std::u16string& detailUrl) {
        IWebBrowser2* browser = serviceBrowser();
        if (!browser || detailUrl.empty() || stopRequested())
            return kNoValue;
        if (const auto known = emails_.find(detailUrl); known != emails_.end())
            return known->second;
        browser->Navigate(detailUrl.c_str());
        if (!orvo::WaitUntilComplete(browser, kDetailTimeoutMs) || stopRequested())
            return kNoValue;
        auto page = Ref<IHTMLDocument2>::adopt(browser->GetDocument());
        std::u16string email =
            page ? copy(page->EvaluateXPath(u"substring-after(string(//a[starts-with(@href, "
                                            u"'mailto:')]/@href), 'mailto:')"))
                 : std::u16string();
        email = field(std::move(email));
        emails_[detailUrl] = email;
        return email;
    }

    std::map<std::u16string, std::u16string> emails_;
};

} // namespace

ORVO_EXPORT void CreatePlugin(IPlugin** result) {
    if (result)
        *result = new DemoDirectory;
}
