#pragma once

#include <cstdint>
#include <string_view>

// The rules by which the service turns text into numbers. Every settings-file
// value arrives as text, and different values follow different rules:
//
//  - the update descriptor's numbers and the run mode take the text's leading
//    number, forgivingly (LeadingNumber, LeadingWholeNumber32/16);
//  - version.ini values and the language id must be nothing but a number
//    (StrictWholeNumber32);
//  - the main-installation flag of the command line is a word or a number
//    (ToBoolean).
//
// None of these depends on the process locale: a decimal point is always '.'.
// Failures are ServiceError with ErrorNumber::TypeMismatch ("Type mismatch")
// or ErrorNumber::Overflow ("Overflow").
namespace tvk {

// The leading number of the text, 0 when it does not begin with one.
// Spaces, tabs and line feeds are skipped wherever they stand ("1 2" is 12,
// " - 5" is -5). Then an optional sign, digits with at most one decimal point,
// and an optional exponent introduced by E or D ("1e" is 1); reading stops at
// the first character that cannot continue the number. "&H" and "&O" (any
// case) introduce an unsigned hexadecimal or octal number. Any other
// character, including every non-ASCII byte and NUL, ends the number.
// Huge exponents give +-infinity; never throws.
double LeadingNumber(std::string_view text);

// The nearest whole number; an exact half goes to the even neighbour
// (12.5 -> 12, 13.5 -> 14, -2.5 -> -2). Independent of the floating-point
// rounding mode. Infinities and NaN come back unchanged.
double RoundHalfEven(double value);

// RoundHalfEven, then a range check: throws Overflow when the rounded value
// (or an infinity or NaN) does not fit. So 32767.4 fits 16 bits, 32767.5 not.
int32_t RoundToWhole32(double value);
int16_t RoundToWhole16(double value);

// LeadingNumber, rounded to a whole number and range-checked.
int32_t LeadingWholeNumber32(std::string_view text);
int16_t LeadingWholeNumber16(std::string_view text);

// The whole text must be one decimal number: blanks (spaces, tabs) before and
// after, an optional sign directly before the digits, digits with an optional
// decimal point and fraction, an optional exponent "E[sign]digits". Anything
// else ("", "12abc", "1 2", "&H10", "1e") throws TypeMismatch. A fraction is
// rounded half-even; a value outside 32 bits throws Overflow.
int32_t StrictWholeNumber32(std::string_view text);

// "true" or "false" in any case (blanks around allowed), or a number by the
// strict rule above, unrounded: 0 is false, any other number true ("0.4" and
// "1e-400" are true). Anything else throws TypeMismatch.
bool ToBoolean(std::string_view text);

}  // namespace tvk
