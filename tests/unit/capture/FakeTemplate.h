// A scripted template for the column and duplicate tests.
#pragma once

#include "capture/TemplateAccess.h"

#include <stdexcept>

struct FakeTemplate : capture::ITemplateAccess {
    bool loaded = true;
    int noTemplateMessages = 0;
    int columnCount = 3;
    QString names;
    QString widths;
    QString dupes;
    bool countThrows = false;
    bool namesThrow = false;
    bool widthsThrow = false;
    bool dupesThrow = false;
    bool wantsEmail = false;
    int wantsEmailCalls = 0;

    bool PluginIsOK() override {
        if (!loaded)
            ++noTemplateMessages;
        return loaded;
    }
    int GetColumnCount() override {
        if (countThrows)
            throw std::runtime_error("count");
        return columnCount;
    }
    QString GetColumnNames() override {
        if (namesThrow)
            throw std::runtime_error("names");
        return names;
    }
    QString GetColumnWidths() override {
        if (widthsThrow)
            throw std::runtime_error("widths");
        return widths;
    }
    QString GetDupeColumns() override {
        if (dupesThrow)
            throw std::runtime_error("dupes");
        return dupes;
    }
    bool GetIsSlow() override { return false; }
    void SetStop(bool) override {}
    void SetWantsEmail(bool wants) override {
        wantsEmail = wants;
        ++wantsEmailCalls;
    }
    QString GetData() override { return {}; }
    bool GetNextPage(QString&) override { return false; }
};
