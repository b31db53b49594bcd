// The lines the programs write. A report line names entries between double
// quotes, escaped so that every line is one line of valid text and maps back
// to exactly one old and one new name:
//
//   \\  \"            a backslash, a double quote
//   \t  \n  \r        tab, line feed, carriage return
//   \xNN              any other control character (U+0000 to U+001F, U+007F),
//                     and where names are bytes, a byte that is not part of
//                     well-formed UTF-8 (NN from 80 to FF)
//   \uXXXX            a unit of a surrogate pair standing alone, a C1
//                     control (U+0080 to U+009F) and a bidirectional control
//                     (U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069)
//
// Everything else, all other non-ASCII text included, stands as it is.
#pragma once

#include <string>
#include <string_view>

#include "platform/platform.h"

namespace app {

// The most units one name unit can take in a report line ("\uDXXX").
constexpr size_t kMaxEscapedUnit = 6;

// Appends a system error code as a signed decimal number. Allocates nothing
// when `text` has room for eleven more units.
void AppendDecimal(std::u16string& text, platform::ErrorCode code);

// Appends `name` to `line` between double quotes, escaped. Allocates nothing
// when `line` has room for kMaxEscapedUnit units a name unit and the quotes.
void AppendQuoted(std::u16string& line, std::u16string_view name,
                  bool namesAreBytes);
// The same without the quotes: a part of a quoted name.
void AppendEscaped(std::u16string& line, std::u16string_view name, bool namesAreBytes);

// Sets `line` to the report line of a rename: "old" => "new". Allocates
// nothing when `line` has room (see ReportRoom).
void FormatRename(std::u16string& line, std::u16string_view oldName,
                  std::u16string_view newName, bool namesAreBytes);

// The room a report line naming these two names needs at most.
size_t ReportRoom(std::u16string_view oldName, std::u16string_view newName);
// The same for names of these lengths.
size_t ReportRoom(size_t oldLength, size_t newLength);

// Sets `line` to the report line of a failed rename:
// ERROR: "name": MoveFile() failed (code).
void FormatFailure(std::u16string& line, std::u16string_view name,
                   platform::ErrorCode code, bool namesAreBytes);

// Reads a report line of a rename. False when `line` is anything else: a
// message, or text that does not follow the form exactly.
bool ParseRename(std::u16string_view line, std::u16string& oldName,
                 std::u16string& newName);

}  // namespace app
