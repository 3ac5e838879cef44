// Splits a procedure or trigger script into its drop part and its CREATE
// statement, and rewrites the CREATE statement so that the server stores
// the object's definition encrypted.
#pragma once

#include "rt/text.h"

namespace upgrade {

// The clause put into the CREATE statement's header (17 bytes).
inline constexpr const char* kEncryptionClause = " with ENCRYPTION ";
// How far into the trimmed script "create " is looked for.
inline constexpr std::int32_t kCreateSearchWindow = 200;

// In: `as_create` holds the whole script. The script is accepted when,
// after its leading and trailing blanks, "create " begins within the
// first 200 bytes, a CR LF followed by "go" stands before it (not at the
// very start), and the text from "create " to the first "begin" holds an
// "as". Letter case does not matter for any of these words.
//
// True: `as_create` holds the CREATE statement, from "create " to the end,
// with " with ENCRYPTION " put right before the header's last "for" (a
// trigger's FOR INSERT...) or, when the header has no "for", before its
// last "as"; `as_drop` holds everything before the CR LF of the first "go"
// line, in the script's own letter case.
//
// False: the script does not have that shape. `as_drop` is unchanged;
// `as_create` is unchanged when no "create " was found (or the script is
// NULL), the script from "create " on when "begin" or "as" is missing,
// and the rewritten statement when only the drop part is missing.
bool wf_get_sql_go(rt::String& as_create, rt::String& as_drop);

}  // namespace upgrade
