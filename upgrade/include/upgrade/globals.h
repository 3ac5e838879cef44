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

}  // namespace upgrade
