// The results page and the template of the declarative-template benchmarks, shared by the
// snapshot benchmark, the real-engine one and (through a file) the Playwright peer, so all
// of them time the same work.
#pragma once

#include <QString>

namespace bench {

// A results page of n listings, as a directory site writes them.
inline QString listingPage(int n) {
    QString html = QStringLiteral("<html><body><h1>Results</h1><ol class=results>");
    for (int i = 0; i < n; ++i)
        html += QStringLiteral(
                    "<li class=\"listing\" id=\"l%1\"><h3 class=\"name\"><a href=\"/firm/%1\">"
                    "Firm number %1 &amp; Sons</a></h3><p class=\"street\">%1 Harbour "
                    "Road</p><p class=\"town\">Lantern Bay</p><p class=\"phone\">Tel. "
                    "(319) 555-%2</p><span class=\"kind\">Open daily</span></li>")
                    .arg(i)
                    .arg(1000 + i % 9000);
    html += QStringLiteral("</ol><a rel=next href=\"?page=2\">Next</a></body></html>");
    return html;
}

// Five columns, one with a pattern.
inline constexpr char kFiveColumns[] =
    R"json({"trawlex": 1, "name": "BENCH", "records": "li.listing",
  "columns": [{"name": "Name", "select": ".name"}, {"name": "Street", "select": ".street"},
              {"name": "Town", "select": ".town"},
              {"name": "Phone", "select": ".phone", "pattern": "\\((\\d{3})\\)"},
              {"name": "Link", "select": ".name a", "attribute": "href"}]})json";

} // namespace bench
