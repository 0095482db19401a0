// The value of one field of a declarative template, from the raw text of the page to the
// text that goes into the grid.
#pragma once

#include <QString>

namespace declarative {

// What marks a field without a value: one no-break space, which never makes two records
// duplicates.
inline constexpr char16_t kNoValue[] = u"\u00A0";

// Runs of ASCII blanks (the ones HTML collapses) as one space, none at either end. A
// no-break space is kept: the page shows it.
QString CollapseBlanks(const QString& text);

// A field as the record text carries it: CR, LF and U+00A4 (the record text's
// separators) become blanks; an empty field becomes kNoValue.
QString RecordField(const QString& value);

// href taken against the page's address; an address with a scheme stays exactly as
// written.
QString ResolveAddress(const QString& base, const QString& href);

// A telephone number in the international format ("+1 319-555-0192"); region (two
// letters) is the country of numbers written without a country code. Text that is no
// number stays as it is, blanks collapsed.
QString CleanPhone(const QString& text, const QString& region);

// The first e-mail address in text, after undoing the usual disguises ("name [at] example
// [dot] com", "name(at)example.com", "mailto:" links, percent-encoding and the encoded
// address of the common CDN's e-mail protection); empty when there is none.
QString CleanEmail(const QString& text);

// The address hidden in a "data-cfemail" attribute (or behind "#" in an
// "/cdn-cgi/l/email-protection#..." link): hex digits, the first byte the key every other
// byte is XORed with. Empty when the text is not such an encoding.
QString DecodeCfEmail(const QString& hex);

} // namespace declarative
