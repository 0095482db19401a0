// A browser of the program that a template may drive itself, handed over through
// IPlugin::SetServiceBrowser or IPlugin::SetAssistBrowser when the template's
// GetUsesBrowser answers true. Rules for references and texts: IUnknown.h.
#pragma once

#include "IUnknown.h"

struct IHTMLDocument2;

// Values of IWebBrowser2::GetReadyState.
constexpr std::int32_t READYSTATE_UNINITIALIZED = 0;
constexpr std::int32_t READYSTATE_LOADING = 1;
constexpr std::int32_t READYSTATE_LOADED = 2;
constexpr std::int32_t READYSTATE_INTERACTIVE = 3;
constexpr std::int32_t READYSTATE_COMPLETE = 4;

struct IWebBrowser2 : IUnknown {
    // Starts loading url and returns at once. The ready state is below
    // READYSTATE_COMPLETE when it returns, so a wait for completion that follows never
    // sees the previous page's state. Null or empty does nothing.
    virtual void Navigate(const char16_t* url) = 0;
    // One of the READYSTATE_ values; READYSTATE_COMPLETE once the page has loaded.
    virtual std::int32_t GetReadyState() = 0;
    // A snapshot of the page on show, taken when asked (a new reference), or null when
    // the browser shows no HTML document.
    virtual IHTMLDocument2* GetDocument() = 0;
    // The address of the page on show.
    virtual const char16_t* GetLocationURL() = 0;
    // Stops the load in progress, if any.
    virtual void Stop() = 0;
    // Lets the program handle its pending window messages (the page loads and the user's
    // commands run meanwhile), for about milliseconds ms; 0 handles what is pending and
    // returns. Answers 0 when the program is shutting down or the browser is gone: the
    // template must then stop waiting and return from the call it is in.
    virtual OrvoBool ProcessMessages(std::int32_t milliseconds) = 0;

protected:
    ~IWebBrowser2() = default;
};
