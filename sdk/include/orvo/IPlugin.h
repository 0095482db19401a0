// The interface a site template implements, and the entry point it exports.
//
// The 32 methods are declared in the order the program calls them by, the slots it does
// not use included: never insert, remove or reorder one. Rules for references and texts:
// IUnknown.h. The program calls a template from its user-interface thread only.
#pragma once

#include "IUnknown.h"

struct IHTMLDocument2;
struct IWebBrowser2;

struct IPlugin : IUnknown {
    virtual void Reserved1() = 0;
    virtual void Reserved2() = 0;
    // Short code of the template, for example "US-DEMO": window title, status bar,
    // problem reports. The name "AU-YP" (exactly so) receives the assistant browser
    // instead of the service browser.
    virtual const char16_t* GetName() = 0;
    // The page the main browser opens when the template is loaded.
    virtual const char16_t* GetHomeURL() = 0;
    virtual void Reserved5() = 0;
    virtual const char16_t* GetAuthor() = 0;
    virtual const char16_t* GetVersion() = 0;
    virtual void Reserved8() = 0;
    virtual void Reserved9() = 0;
    virtual void Reserved10() = 0;
    // Column captions, "|" between them: "Name|Street|Phone".
    virtual const char16_t* GetColumnNames() = 0;
    // Column widths in pixels, each followed by "|": "200|150|90|".
    virtual const char16_t* GetColumnWidths() = 0;
    // Fields per record; 0 or less makes the program refuse the template.
    virtual std::int32_t GetColumnCount() = 0;
    // Duplicate keys for fields 2, 3, ...: "0|1" makes field 3 a key column.
    virtual const char16_t* GetDupeColumns() = 0;
    // Nonzero: the template wants a browser of its own (SetServiceBrowser or
    // SetAssistBrowser follows).
    virtual OrvoBool GetUsesBrowser() = 0;
    // Nonzero: collect e-mail addresses and other extra data, which may cost further
    // page loads.
    virtual void SetWantsEmail(OrvoBool wants) = 0;
    // Nonzero: a capture takes long; the program tells the user so.
    virtual OrvoBool GetIsSlow() = 0;
    virtual void Reserved18() = 0;
    // 0 before each capture; nonzero asks a capture in progress to end soon.
    virtual void SetStop(OrvoBool stop) = 0;
    virtual void Reserved20() = 0;
    virtual void Reserved21() = 0;
    // The records of the page in document: one line per record, lines separated by CR LF,
    // fields separated by U+00A4, in column order.
    virtual const char16_t* GetData(IHTMLDocument2* document) = 0;
    virtual void Reserved23() = 0;
    virtual void Reserved24() = 0;
    virtual void Reserved25() = 0;
    virtual void Reserved26() = 0;
    virtual void Reserved27() = 0;
    // Nonzero when document has a next results page; its address is then stored in *url
    // (null on entry).
    virtual OrvoBool GetNextPage(IHTMLDocument2* document, const char16_t** url) = 0;
    virtual void Reserved29() = 0;
    // The hidden service browser the template may drive.
    virtual void SetServiceBrowser(IWebBrowser2* browser) = 0;
    virtual void Reserved31() = 0;
    // The assistant browser, handed to "AU-YP" instead of the service browser.
    virtual void SetAssistBrowser(IWebBrowser2* browser) = 0;

protected:
    ~IPlugin() = default;
};

// Templates are built with hidden symbols; this makes the entry point visible.
#define ORVO_EXPORT extern "C" __attribute__((visibility("default")))

// The entry point every template exports as "CreatePlugin". *result is null on entry;
// the template stores there a reference the caller owns, or leaves it null to refuse.
// Called once per load.
using TCreatePlugin = void (*)(IPlugin** result);
