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

TEST(Recognise, TheCountryOfNumbersWithoutACountryCode) {
    const struct {
        std::vector<const char*> numbers;
        const char* region;
    } cases[] = {
        {{"(319) 362-4100", "319-363-2211", "(515) 281-5011"}, "US"},
        {{"020 7946 0018", "0161 496 0000", "020 7946 0123"}, "GB"},
        {{"030 1234567", "089 12345678", "040 2233445"}, "DE"},
        // With the country code the numbers need no region.
        {{"+1 319-362-4100", "+44 20 7946 0018"}, ""},
        // No country for most of them.
        {{"12", "hello", ""}, ""},
        {{}, ""},
    };
    for (const auto& c : cases) {
        std::vector<QString> numbers;
        for (const char* n : c.numbers)
            numbers.push_back(QString::fromUtf8(n));
        EXPECT_EQ(detect::phoneRegion(numbers).toStdString(), c.region)
            << (c.numbers.empty() ? "" : c.numbers.front());
    }
}

} // namespace
