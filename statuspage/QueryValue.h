// What the query text of a status page request means, and how it is shown.
#pragma once

#include <string>
#include <string_view>

namespace pentrel::statuspage {

// The query read as a decimal number, as strtoll does in the C locale: leading white space, one optional
// sign, then digits up to the first other character; no digits give 0. A number beyond the range of
// long long saturates at its limit, so no figure, however long, can wrap round to -1.
long long ConvertQueryValue(std::string_view query);

// `text` safe to place in HTML content or a quoted attribute: & < > " ' become entities, every other
// byte stays as it is.
std::string EscapeHtml(std::string_view text);

}  // namespace pentrel::statuspage
