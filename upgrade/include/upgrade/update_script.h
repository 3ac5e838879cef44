// The optional script "update.sql": statements run in batches at every
// upgrade.
#pragma once

#include "rt/text.h"
#include "rt/transaction.h"

namespace upgrade {

// Runs "update.sql" from the process's current directory (at the time of
// the call) on `sqlca`. A line of exactly the two letters GO, in any case,
// ends a batch; the batch (a line feed before each of its lines) is
// executed and committed, whatever the server answers. Returns the lines
// after the last GO line, which are not executed, in the same form; the
// empty text when the file ends with a GO line or cannot be read. Shows
// nothing.
rt::String wf_exec_sql(rt::transaction& sqlca);

}  // namespace upgrade
