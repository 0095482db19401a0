// What a field holds, told by its text: the names the detected columns get.
#include "detect/Detect.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* text;
    detect::Kind kind;
};

TEST(Recognise, NamesWhatAFieldHolds) {
    const Case cases[] = {
        {"(319) 555-0192", detect::Kind::Phone},
        {"+44 20 7946 0958", detect::Kind::Phone},
        {"Tel: 030 1234567", detect::Kind::Phone},
        {"319.555.0192", detect::Kind::Phone},
        {"info@acme-plumbing.example", detect::Kind::Email},
        {"mailto:a.b@example.org", detect::Kind::Email},
        {"https://acme.example/about", detect::Kind::Web},
        {"www.acme.com", detect::Kind::Web},
        {"$1,299.00", detect::Kind::Price},
        {"€ 45", detect::Kind::Price},
        {"12,50 €", detect::Kind::Price},
        {"From $20", detect::Kind::Price},
        {"52402", detect::Kind::PostalCode},
        {"52402-1234", detect::Kind::PostalCode},
        {"SW1A 1AA", detect::Kind::PostalCode},
        {"1200 Main St", detect::Kind::Address},
        {"45 Oak Avenue, Suite 2", detect::Kind::Address},
        {"Hauptstraße 12", detect::Kind::Address},
        {"12 rue de la Paix", detect::Kind::Address},
        // Near misses stay text.
        {"Acme Plumbing & Heating", detect::Kind::Text},
        {"Open 24 hours", detect::Kind::Text},
        {"Call us today", detect::Kind::Text},
        {"2024", detect::Kind::Text}, // four digits alone are more often a year
        {"12", detect::Kind::Text},
        {"", detect::Kind::Text},
        {"a@b", detect::Kind::Text},
    };
    for (const Case& c : cases)
        EXPECT_EQ(detect::recognise(QString::fromUtf8(c.text)), c.kind) << c.text;
}

TEST(Recognise, LongOrStrangeTextIsText) {
    EXPECT_EQ(detect::recognise(QString(100000, u'9')), detect::Kind::Text);
    EXPECT_EQ(detect::recognise(QString(50, u'(')), detect::Kind::Text);
    EXPECT_EQ(detect::recognise(QStringLiteral("++++++++++++")), detect::Kind::Text);
}

} // namespace
