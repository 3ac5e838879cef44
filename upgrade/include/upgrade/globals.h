// Global variables of the schemalift application.
#pragma once

#include "rt/object.h"
#include "rt/text.h"
#include "rt/transaction.h"

namespace upgrade {

// The one connection to the store database; created by the application's
// create event, destroyed by its destroy event.
inline rt::Ref<rt::transaction> sqlca;

// Title of the program's message boxes: "岚舟商业管理软件" in GBK.
inline rt::String gs_appname = rt::gbk("岚舟商业管理软件");

// sqlca itself; a call on a missing connection object is a runtime error.
rt::transaction& connection();

// Whether the last operation on `t` failed: a status code of 0, or none at
// all, is a success.
inline bool failed(const rt::transaction& t) { return t.SQLCode.value_or(0) != 0; }

}  // namespace upgrade
