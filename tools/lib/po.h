// Language libraries as GNU gettext PO files, for the tools translators use.
// Reading and writing go through gettext's own library (libgettextpo), so a
// file that msgfmt and the translation editors accept is what is read here.
//
// Export: one entry per number of the reference library, by ascending
// number; msgctxt is the number in decimal, msgid the reference text, msgstr
// the target's text for that number (empty without a target, or when the
// target lacks the number: a template entry). Texts using the library's
// conventions carry extracted comments ("#.") from TranslatorNotes; a text
// with %n parameters is flagged qt-format, whose numbered directives are
// the same %1..%99, so `msgfmt --check` refuses a translation that loses
// one. The header holds Language: (empty for a template), Content-Type:
// text/plain; charset=UTF-8 and Content-Transfer-Encoding: 8bit.
//
// Import: every entry by its msgctxt number. Left out (so the reference
// text is not silently copied into the translation): fuzzy entries, empty
// translations, numbers of the reference the PO lacks; with `fallback`
// each of those takes the reference text instead. Obsolete entries ("#~")
// and the header are ignored; msgid is not compared with the reference,
// `kut msg compare` is the check for what a translation changed. Errors,
// each "FILE:LINE: reason": syntax errors found by gettext, a msgctxt that
// is not a number 1..65535, a number the reference lacks, a number given
// twice, plural entries, a charset other than UTF-8.
#ifndef KUTTOOLS_PO_H
#define KUTTOOLS_PO_H

#include <string>

#include "catalog.h"
#include "native.h"

namespace kuttools {

// `target` may be null (a template). `languageTag` goes to Language:.
// The PO file is written under a temporary name and renamed over `path`
// when complete; with Replace::kRefuse an existing `path` is kept.
bool ExportPo(const StringMap& ref, const StringMap* target, const std::string& languageTag, const std::wstring& path,
              std::string* error, native::Replace replace = native::Replace::kAllow);

bool ImportPo(const StringMap& ref, const std::wstring& path, bool fallback, StringMap* out, std::string* error);

}  // namespace kuttools

#endif
