#pragma once
// The stateful field scanner: walks one text field by field over several calls.

#include <string>

namespace zelk {

// Returns field index (counted from 1) of text, where fields are the runs of
// characters between any two characters of delimiters (and before the first and
// after the last).
//
// One scan at a time in the whole program, its position kept between calls:
//  - index 1 starts a new scan of text;
//  - a higher index continues from where the last call stopped, skipping the fields
//    in between; asking again for the field the last call returned gives "";
//  - when the text ends before the field is reached the result is "\n";
//  - continuing with a text of other content than the scan started with reports
//    "Pointer mismatch in sqgetdelimel4" and goes on with the remembered text.
//    The scanner keeps its own copy of the text, so the caller's string may change
//    or go away between calls; texts are told apart by content, so passing an
//    equal copy of the scanned text is no mismatch.
// Not thread-safe (one scan at a time, as said).
std::string NthDelimitedField(const std::string& text, const std::string& delimiters, int index);

}  // namespace zelk
