#include "hostkit/uo_file_time.h"

#include <tuple>
#include <utility>

#include "platform.h"

namespace hostkit {

namespace {

rt::RegisterClass<uo_file_time> g_register("uo_file_time");

// The runtime's decimal text of an unsigned integer: digits only.
rt::String decimal(const rt::UInt& v) { return rt::string_of(rt::convert<std::int32_t>(v)); }

// Local datetime from calendar fields, through the runtime's text
// conversions: "2019-1-5" and "9:5:7:30".
rt::DateTime datetime_of(const systemtime& st) {
  rt::String date_text = decimal(st.wyear) + "-" + decimal(st.wmonth) + "-" + decimal(st.wday);
  rt::String time_text = decimal(st.whour) + ":" + decimal(st.wminute) + ":" + decimal(st.wsecond) + ":" +
                         decimal(st.wmilliseconds);
  return rt::to_datetime(rt::to_date(date_text), rt::to_time(time_text));
}

rt::UInt uint_of(const rt::Int& v) { return rt::convert<std::uint16_t>(v); }

// Calendar fields from a local datetime; fractions of a second are dropped.
systemtime systemtime_of(const rt::DateTime& dt) {
  systemtime st;
  rt::Date d = rt::date_part(dt);
  rt::Time t = rt::time_part(dt);
  st.wyear = uint_of(rt::year(d));
  st.wmonth = uint_of(rt::month(d));
  st.wdayofweek = uint_of(rt::daynumber(d) - rt::Int(std::int16_t{1}));
  st.wday = uint_of(rt::day(d));
  st.whour = uint_of(rt::hour(t));
  st.wminute = uint_of(rt::minute(t));
  st.wsecond = uint_of(rt::second(t));
  st.wmilliseconds = std::uint16_t{0};
  return st;
}

}  // namespace

std::shared_ptr<const rt::ClassDefinition> systemtime::definition() {
  static const auto def = rt::define_structure(
      "systemtime", {rt::member("wyear", rt::types::uinteger()), rt::member("wmonth", rt::types::uinteger()),
                     rt::member("wdayofweek", rt::types::uinteger()), rt::member("wday", rt::types::uinteger()),
                     rt::member("whour", rt::types::uinteger()), rt::member("wminute", rt::types::uinteger()),
                     rt::member("wsecond", rt::types::uinteger()),
                     rt::member("wmilliseconds", rt::types::uinteger())});
  return def;
}

std::shared_ptr<const rt::ClassDefinition> filetime::definition() {
  static const auto def = rt::define_structure(
      "filetime", {rt::member("dwlowdatetime", rt::types::ulong()), rt::member("dwhighdatetime", rt::types::ulong())});
  return def;
}

std::shared_ptr<const rt::ClassDefinition> security_attributes::definition() {
  static const auto def = rt::define_structure(
      "security_attributes",
      {rt::member("nlength", rt::types::ulong()), rt::member("lpsecuritydescriptor", rt::types::ulong()),
       rt::member("binherithandle", rt::types::boolean())});
  return def;
}

std::shared_ptr<const rt::ClassDefinition> win32_find_data::definition() {
  static const auto def = rt::define_structure(
      "win32_find_data",
      {rt::member("dwfileattributes", rt::types::ulong()), rt::member("ftcreationtime", filetime::definition()),
       rt::member("ftlastaccesstime", filetime::definition()), rt::member("ftlastwritetime", filetime::definition()),
       rt::member("nfilesizehigh", rt::types::ulong()), rt::member("nfilesizelow", rt::types::ulong()),
       rt::member("dwreserved0", rt::types::ulong()), rt::member("dwreserved1", rt::types::ulong()),
       rt::member("cfilename", rt::types::character(), {260}),
       rt::member("calternatefilename", rt::types::character(), {14})});
  return def;
}

rt::Bool uo_file_time::of_file_get_times(const rt::String& astr_pathname, rt::DateTime& adt_creationtime,
                                         rt::DateTime& adt_lastaccesstime, rt::DateTime& adt_lastwritetime) {
  Kernel32& k = kernel32();
  win32_find_data wfd;
  filetime lft_temp;
  systemtime lst_creationtime, lst_lastaccesstime, lst_lastwritetime;

  rt::ULong ll_find = k.FindFirstFileA(astr_pathname, wfd);
  if (test(ll_find == Kernel32::kInvalidHandle)) return false;
  k.FindClose(ll_find);

  // Every conversion succeeds before any output is written.
  const std::pair<const filetime*, systemtime*> steps[] = {{&wfd.ftcreationtime, &lst_creationtime},
                                                           {&wfd.ftlastaccesstime, &lst_lastaccesstime},
                                                           {&wfd.ftlastwritetime, &lst_lastwritetime}};
  for (const auto& [file_time, system_time] : steps) {
    if (!test(k.FileTimeToLocalFileTime(*file_time, lft_temp))) return false;
    if (!test(k.FileTimeToSystemTime(lft_temp, *system_time))) return false;
  }

  adt_creationtime = datetime_of(lst_creationtime);
  adt_lastaccesstime = datetime_of(lst_lastaccesstime);
  adt_lastwritetime = datetime_of(lst_lastwritetime);
  return true;
}

rt::Bool uo_file_time::of_file_set_times(const rt::String& astr_pathname, const rt::DateTime& adt_creationtime,
                                         const rt::DateTime& adt_lastaccesstime,
                                         const rt::DateTime& adt_lastwritetime) {
  constexpr std::uint32_t generic_write = 0x40000000u;
  constexpr std::uint32_t file_share_read = 1;
  constexpr std::uint32_t file_share_write = 2;
  constexpr std::uint32_t open_existing = 3;
  constexpr std::uint32_t file_attribute_archive = 32;

  Kernel32& k = kernel32();
  rt::ULong lul_null = rt::null;
  security_attributes lsa_temp;
  lsa_temp.nlength = 12u;
  lsa_temp.lpsecuritydescriptor = lul_null;

  filetime lft_temp, lft_creationtime, lft_lastaccesstime, lft_lastwritetime;
  systemtime lst_creationtime, lst_lastaccesstime, lst_lastwritetime;

  // All six conversions succeed before the file is opened.
  const std::tuple<const rt::DateTime*, systemtime*, filetime*> steps[] = {
      {&adt_creationtime, &lst_creationtime, &lft_creationtime},
      {&adt_lastaccesstime, &lst_lastaccesstime, &lft_lastaccesstime},
      {&adt_lastwritetime, &lst_lastwritetime, &lft_lastwritetime}};
  for (const auto& [datetime, system_time, file_time] : steps) {
    *system_time = systemtime_of(*datetime);
    if (!test(k.SystemTimeToFileTime(*system_time, lft_temp))) return false;
    if (!test(k.LocalFileTimeToFileTime(lft_temp, *file_time))) return false;
  }

  rt::Long ll_handle = k.CreateFileA(astr_pathname, generic_write, file_share_read + file_share_write, &lsa_temp,
                                     open_existing, file_attribute_archive, lul_null);
  // 0 counts as a failure as well as -1.
  if (!test(ll_handle >= rt::Long(1))) return false;

  rt::ULong handle = rt::convert<std::uint32_t>(ll_handle);
  rt::Bool set = k.SetFileTime(handle, lft_creationtime, lft_lastaccesstime, lft_lastwritetime);
  k.CloseHandle(handle);
  return test(set);
}

}  // namespace hostkit
