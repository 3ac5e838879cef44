// uo_file_time: reads and sets a file's creation, last-access and
// last-write times, seen by the caller as local datetimes.
//
// The record types below have the layout of the Windows records of the same
// role; they are declared through the runtime's reflection, so nvo_sizeof
// can measure them. Their fields start at 0 (false for the boolean).
#pragma once

#include <array>
#include <memory>
#include <string>

#include "hostkit/export.h"
#include "rt/datetime.h"
#include "rt/object.h"
#include "rt/reflect.h"
#include "rt/text.h"
#include "rt/value.h"

namespace hostkit {

// Calendar fields of a time (Windows SYSTEMTIME).
struct HOSTKIT_API systemtime : rt::Structure {
  rt::UInt wyear;
  rt::UInt wmonth;  // 1 to 12
  rt::UInt wdayofweek;
  rt::UInt wday;  // day of the month
  rt::UInt whour;
  rt::UInt wminute;
  rt::UInt wsecond;
  rt::UInt wmilliseconds;

  static std::shared_ptr<const rt::ClassDefinition> definition();
  std::shared_ptr<const rt::ClassDefinition> class_definition() const override { return definition(); }
};

// The platform's 64-bit file time in two halves (Windows FILETIME): 100 ns
// units since 1601-01-01.
struct HOSTKIT_API filetime : rt::Structure {
  rt::ULong dwlowdatetime;
  rt::ULong dwhighdatetime;

  static std::shared_ptr<const rt::ClassDefinition> definition();
  std::shared_ptr<const rt::ClassDefinition> class_definition() const override { return definition(); }
};

// Windows SECURITY_ATTRIBUTES: three 32-bit words.
struct HOSTKIT_API security_attributes : rt::Structure {
  rt::ULong nlength;               // the record's size in bytes
  rt::ULong lpsecuritydescriptor;  // address of a security descriptor
  rt::Bool binherithandle;         // passed as a 32-bit word

  static std::shared_ptr<const rt::ClassDefinition> definition();
  std::shared_ptr<const rt::ClassDefinition> class_definition() const override { return definition(); }
};

// Windows WIN32_FIND_DATAA: one entry found by a file search. The times are
// in the file system's time, not local time.
struct HOSTKIT_API win32_find_data : rt::Structure {
  rt::ULong dwfileattributes;
  filetime ftcreationtime;
  filetime ftlastaccesstime;
  filetime ftlastwritetime;
  rt::ULong nfilesizehigh;
  rt::ULong nfilesizelow;
  rt::ULong dwreserved0;
  rt::ULong dwreserved1;
  std::array<rt::Char, 260> cfilename{};
  std::array<rt::Char, 14> calternatefilename{};

  static std::shared_ptr<const rt::ClassDefinition> definition();
  std::shared_ptr<const rt::ClassDefinition> class_definition() const override { return definition(); }
};

class HOSTKIT_API uo_file_time : public rt::Object {
 public:
  // Drive-type names; kept for callers, unused by the class itself.
  inline static const rt::String sdt_removable{std::string("REMOVABLE!")};
  inline static const rt::String sdt_fixed{std::string("FIXED!")};
  inline static const rt::String sdt_remote{std::string("REMOTE!")};
  inline static const rt::String sdt_cdrom{std::string("CDROM!")};
  inline static const rt::String sdt_ramdisk{std::string("RAMDISK!")};

  std::string class_name() const override { return "uo_file_time"; }

  // The file's three times as local datetimes. True when all three outputs
  // were set; on false every output keeps the value passed in.
  rt::Bool of_file_get_times(const rt::String& astr_pathname, rt::DateTime& adt_creationtime,
                             rt::DateTime& adt_lastaccesstime, rt::DateTime& adt_lastwritetime);

  // Writes the three times (local datetimes, whole seconds) in one step.
  // True when the file system accepted them.
  rt::Bool of_file_set_times(const rt::String& astr_pathname, const rt::DateTime& adt_creationtime,
                             const rt::DateTime& adt_lastaccesstime, const rt::DateTime& adt_lastwritetime);
};

}  // namespace hostkit
