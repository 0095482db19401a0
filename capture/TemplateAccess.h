// What the grid and the capture run ask of the current site template. The window
// implements it over the loaded template; tests script it. Every call reaches whatever
// template is current at that moment (one may be loaded while a run waits), and any call
// but PluginIsOK may throw: a template is outside code.
#pragma once

#include <QString>

namespace capture {

class ITemplateAccess {
public:
    virtual ~ITemplateAccess() = default;

    // True when a template is loaded; otherwise shows "No template currently selected!".
    virtual bool PluginIsOK() = 0;

    virtual int GetColumnCount() = 0;
    virtual QString GetColumnNames() = 0;
    virtual QString GetColumnWidths() = 0;
    virtual QString GetDupeColumns() = 0;
    virtual bool GetIsSlow() = 0;
    virtual void SetStop(bool stop) = 0;
    virtual void SetWantsEmail(bool wants) = 0;
    // GetData with the main browser's document: the page's record text.
    virtual QString GetData() = 0;
    // GetNextPage with the main browser's document: true when a next page exists, its
    // address then in url.
    virtual bool GetNextPage(QString& url) = 0;
};

} // namespace capture
