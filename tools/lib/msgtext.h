// The conventions a message text of a language library follows, as the
// program reading it relies on them at run time, and the checks and notes
// built on them for translators:
//
//  - "$$" separates fields; a K_MSG shows field 1, other callers read a
//    field by its position, so a translation keeps the number of fields.
//  - "OUT::" at the very start marks a text shown in the output language.
//  - "%n" (n decimal) is a parameter filled at run time by fillParam.
//  - leading and trailing blanks are often layout (column alignment, a text
//    followed by a value) and belong to the text.
//
// Language numbers: the message language number names a library
// (KEST_002.dll is language 2). The tag written into a PO file's
// "Language:" header comes from the table in LanguageTag (the README shows
// it); a number outside the table has no tag and the caller names one.
#ifndef KUTTOOLS_MSGTEXT_H
#define KUTTOOLS_MSGTEXT_H

#include <string>
#include <vector>

#include "catalog.h"

namespace kuttools {

struct TextTraits {
    int fields = 1;                    // "$$" separators + 1
    bool outMarker = false;            // begins with "OUT::"
    std::vector<unsigned> params;      // every "%n", in ascending order (repeats kept)
    std::u16string leading, trailing;  // blanks (space, tab, CR, LF) at either end
};

TextTraits Traits(const std::u16string& text);

// Every problem between a reference library's strings and a translation's,
// one line each, by ascending number: "<number>: <problem>". Empty when the
// target can replace the reference.
std::vector<std::string> CompareStrings(const StringMap& ref, const StringMap& target);

// Notes for a translator about the conventions `text` uses, one sentence a
// line (no trailing line end); empty when it uses none.
std::string TranslatorNotes(const std::u16string& text);

// The language tag of a message language number ("en" for 1, "fr" for 2
// ...); empty when the table does not know the number.
std::string LanguageTag(long number);
// The language number in a library name such as "KEST_002.dll" (the
// three digits before the extension), or 0.
long LanguageOfLibraryName(const std::wstring& path);

}  // namespace kuttools

#endif
