// Style sheet references: every `url(...)` and `@import` of a style sheet's
// text, a `<style>` block or a `style` attribute, as written (CSS escapes
// undone, quotes and blanks around the value dropped), in text order.
// Comments are passed over. Stateless; thread-safe; linear in the text.
#pragma once

#include <functional>
#include <string_view>

namespace tovra {

// Calls `found` with each reference of the style sheet text.
void ScanStyleSheet(std::string_view css, const std::function<void(std::string_view)>& found);

// Whether a style sheet file is written in Shift-JIS: a `@charset` rule at its
// start naming Shift_JIS (or Windows-31J, CP932, SJIS). A byte order mark or
// no rule means UTF-8.
bool StyleSheetIsShiftJis(std::string_view bytes);

}  // namespace tovra
