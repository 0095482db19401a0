// Helpers for template authors: a base class that implements reference counting and every
// IPlugin slot with a neutral answer, a holder for interface references, UTF-8/UTF-16
// conversion, and a wait for a browser the template drives.
#pragma once

#include "IPlugin.h"
#include "IWebBrowser2.h"
#include "RefCounted.h"

#include <string>
#include <string_view>
#include <utility>

namespace orvo {

// Holds one reference to an interface and releases it when replaced or destroyed.
template <class T> class Ref {
public:
    Ref() = default;
    // Takes over a reference the caller already owns (a pointer a method returned).
    static Ref adopt(T* p) {
        Ref r;
        r.p_ = p;
        return r;
    }
    // Adds a reference of its own (a pointer the caller merely received).
    static Ref share(T* p) {
        if (p)
            p->AddRef();
        return adopt(p);
    }
    Ref(const Ref& other) : p_(other.p_) {
        if (p_)
            p_->AddRef();
    }
    Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    Ref& operator=(Ref other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~Ref() { reset(); }
    void reset() {
        if (T* p = std::exchange(p_, nullptr))
            p->Release();
    }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// UTF-8 to UTF-16; a malformed byte becomes U+FFFD.
inline std::u16string FromUtf8(std::string_view s) {
    std::u16string out;
    out.reserve(s.size());
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        char32_t cp = 0xFFFD;
        std::size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if (c >= 0xC2 && c <= 0xF4) {
            len = c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
            char32_t v = c & (0x3F >> (len - 1));
            bool ok = i + len <= s.size();
            for (std::size_t k = 1; ok && k < len; ++k) {
                const unsigned char cc = static_cast<unsigned char>(s[i + k]);
                ok = (cc & 0xC0) == 0x80;
                v = (v << 6) | (cc & 0x3F);
            }
            const char32_t minimum = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
            if (ok && v >= minimum && v <= 0x10FFFF && (v < 0xD800 || v > 0xDFFF))
                cp = v;
            else
                len = 1;
        }
        if (cp >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

// UTF-16 to UTF-8; null reads as empty, a lone surrogate becomes U+FFFD.
inline std::string ToUtf8(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

inline std::u16string_view View(const char16_t* s) {
    return s ? std::u16string_view(s) : std::u16string_view();
}

// Waits until browser has loaded its page, handling the program's window messages
// meanwhile. Answers false when the program shuts down, the browser goes away, or
// timeoutMs passes first (a negative timeout waits without limit).
inline bool WaitUntilComplete(IWebBrowser2* browser, std::int32_t timeoutMs = -1) {
    constexpr std::int32_t slice = 10;
    for (std::int32_t waited = 0; browser; waited += slice) {
        if (browser->GetReadyState() == READYSTATE_COMPLETE)
            return true;
        if (timeoutMs >= 0 && waited >= timeoutMs)
            return false;
        if (!browser->ProcessMessages(slice))
            return false;
    }
    return false;
}

// Implements IUnknown and every IPlugin slot with a neutral answer: empty texts, one
// column, no next page, no browser wanted. A template derives from it, overrides what it
// needs and creates its object with `new` in CreatePlugin; the last Release deletes it.
class PluginBase : public RefCounted<IPlugin> {
public:
    void Reserved1() override {}
    void Reserved2() override {}
    const char16_t* GetName() override { return u""; }
    const char16_t* GetHomeURL() override { return u""; }
    void Reserved5() override {}
    const char16_t* GetAuthor() override { return u""; }
    const char16_t* GetVersion() override { return u""; }
    void Reserved8() override {}
    void Reserved9() override {}
    void Reserved10() override {}
    const char16_t* GetColumnNames() override { return u""; }
    const char16_t* GetColumnWidths() override { return u""; }
    std::int32_t GetColumnCount() override { return 1; }
    const char16_t* GetDupeColumns() override { return u""; }
    OrvoBool GetUsesBrowser() override { return 0; }
    void SetWantsEmail(OrvoBool wants) override { wantsEmail_ = wants != 0; }
    OrvoBool GetIsSlow() override { return 0; }
    void Reserved18() override {}
    void SetStop(OrvoBool stop) override { stop_ = stop != 0; }
    void Reserved20() override {}
    void Reserved21() override {}
    const char16_t* GetData(IHTMLDocument2*) override { return u""; }
    void Reserved23() override {}
    void Reserved24() override {}
    void Reserved25() override {}
    void Reserved26() override {}
    void Reserved27() override {}
    OrvoBool GetNextPage(IHTMLDocument2*, const char16_t**) override { return 0; }
    void Reserved29() override {}
    void SetServiceBrowser(IWebBrowser2* browser) override {
        serviceBrowser_ = Ref<IWebBrowser2>::share(browser);
    }
    void Reserved31() override {}
    void SetAssistBrowser(IWebBrowser2* browser) override {
        assistBrowser_ = Ref<IWebBrowser2>::share(browser);
    }

protected:
    PluginBase() = default;
    ~PluginBase() override = default;

    // Keeps text in the object and answers a pointer valid until the next keep() of the
    // same slot, which is what the contract promises the program.
    const char16_t* keep(std::u16string text, int slot = 0) {
        kept_[slot & 3] = std::move(text);
        return kept_[slot & 3].c_str();
    }

    bool wantsEmail() const { return wantsEmail_; }
    bool stopRequested() const { return stop_; }
    IWebBrowser2* serviceBrowser() const { return serviceBrowser_.get(); }
    IWebBrowser2* assistBrowser() const { return assistBrowser_.get(); }

private:
    bool wantsEmail_ = false;
    bool stop_ = false;
    Ref<IWebBrowser2> serviceBrowser_;
    Ref<IWebBrowser2> assistBrowser_;
    std::u16string kept_[4];
};

} // namespace orvo
