// A site template read from a JSON file: the same IPlugin the program gets from a compiled
// template, answering from a checked description instead of compiled code.
//
// Page turns of the kinds "link" and "url" are answered by GetNextPage like any template.
// The kinds "click" and "scroll" act inside the page on show, which a document snapshot
// cannot do: GetNextPage answers 0 for them, and the capture run drives them itself
// (capture::InPageTurn) with NextAction() and the scripts below, run in the live page:
// count the records, click or scroll, wait until the count grows, capture the new ones.
#pragma once

#include "DeclarativeFormat.h"

#include "orvo/PluginBase.h"

#include <QString>

#include <map>

struct IHTMLDocument2;

namespace declarative {

// The longest wait for a followed page, and for new records after a click or a scroll.
inline constexpr int kFollowTimeoutMs = 20000;
inline constexpr int kActionWaitMs = 10000;
// Followed addresses remembered per run; beyond that one answer is dropped for each new one.
inline constexpr std::size_t kMaxRememberedPages = 100000;

struct NextAction {
    NextKind kind = NextKind::None; // Click or Scroll, else nothing to do in the page
    Query selector;                 // Click: the button
    int max = 0;
};

// Scripts for the live page of an in-page turn, run apart from the page's own scripts.
// The record count answers a number (-1 when the query fails in the page); the action
// answers true when it clicked the first shown element matching button (a hidden or
// disabled button counts as gone), or scrolled to the end of the page.
QString RecordCountScript(const Query& records);
QString InPageActionScript(NextKind kind, const Query& button);

class DeclarativeTemplate final : public orvo::PluginBase {
public:
    // templateFile: the file the description came from, for a relative "home".
    DeclarativeTemplate(Description description, const QString& templateFile);

    const char16_t* GetName() override;
    const char16_t* GetHomeURL() override;
    const char16_t* GetAuthor() override;
    const char16_t* GetVersion() override;
    const char16_t* GetColumnNames() override;
    const char16_t* GetColumnWidths() override;
    std::int32_t GetColumnCount() override;
    const char16_t* GetDupeColumns() override;
    OrvoBool GetUsesBrowser() override;
    OrvoBool GetIsSlow() override;
    void SetStop(OrvoBool stop) override;
    const char16_t* GetData(IHTMLDocument2* document) override;
    OrvoBool GetNextPage(IHTMLDocument2* document, const char16_t** url) override;

    const Description& description() const { return m_d; }
    NextAction nextAction() const;
    // The records of document (what the selector "records" matches).
    int RecordCount(IHTMLDocument2* document) const;
    // Addresses loaded in the service browser since the template was created.
    int pagesFetched() const { return m_fetched; }

private:
    ~DeclarativeTemplate() override = default;

    struct FollowedPage {
        bool loaded = false;
        std::map<std::size_t, QString> values; // column index -> value
    };
    const FollowedPage& follow(const QString& address);
    // Until the service browser has the page; false when it does not come in time, the
    // run is stopped, or the program shuts down.
    bool waitForPage(IWebBrowser2* browser);
    const char16_t* keepText(const QString& text, int slot);

    Description m_d;
    QString m_home;
    bool m_follows = false;
    int m_page = 1;
    int m_fetched = 0;
    bool m_browserGone = false;
    std::map<QString, FollowedPage> m_followed;
};

} // namespace declarative
