// Text helpers of the page renderer: substitution of tokens and the escaping
// of outside text for HTML and for links.
#pragma once
#include <string>
#include <string_view>

namespace velvox {

// Returns text with every occurrence of token replaced by replacement, left
// to right; the inserted text is not searched again.
std::string ReplaceAll(std::string_view text, std::string_view token, std::string_view replacement);

// Appends text with &, <, >, " and ' written as character references, so
// that it reads as plain text inside an element or a quoted attribute.
void AppendHtmlEscaped(std::string& out, std::string_view text);

// Returns text HTML-escaped as AppendHtmlEscaped writes it.
std::string HtmlEscaped(std::string_view text);

// Returns text HTML-escaped as AppendHtmlEscaped writes it, with the
// backslash and the control characters also written as numeric character
// references. A quoted attribute decodes it back to text; inside a <style>
// element, where references are not decoded, it cannot end a quoted CSS
// string, the rule or the element.
std::string HtmlEscapedStrictly(std::string_view text);

// Appends text with every byte outside A-Z, a-z, 0-9, "-", ".", "_" and "~"
// written as "%XX", so that a query value decodes back to the same text.
void AppendPercentEncoded(std::string& out, std::string_view text);

}  // namespace velvox
