#pragma once
// The number a text row's conditions look at: the first number of its text, read as
// people write prices ("1,299.00", "1.299,00", "1 299,00 €", "价格：１２９９元").
#include <string>
#include <string_view>

namespace sentrel {

/// The first number of `text`: digits (full-width ones too) with thousands separators
/// (, . space, no-break and thin spaces, ') in groups of three, and a decimal part after
/// a comma or a point, in either convention. A lone separator followed by one or two
/// digits (or more than three) is the decimal one; followed by three, a thousands one. A
/// minus directly before it is kept; currency signs and words around it are not part of
/// it. False when the text holds no digit, or only numbers too large to be one (400 digits).
bool FirstNumber(std::string_view text, double& value);

/// A number as the user writes it in a condition: the same reading, the whole text.
bool ReadNumber(std::string_view text, double& value);

/// A number shown again: as few digits as it needs ("1299", "12.5").
std::string NumberText(double value);

}  // namespace sentrel
