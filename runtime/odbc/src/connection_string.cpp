// Building the ODBC connection string from the connection object's settings.
#include <algorithm>
#include <cctype>
#include <set>

#include "rt/odbc.h"

namespace rt::odbc {

namespace {

std::string lower_ascii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string upper_ascii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// The keywords (upper case) of an ODBC connection string; braced values
// may hold ';'.
std::set<std::string> connection_keywords(std::string_view cs) {
  std::set<std::string> keys;
  std::size_t i = 0;
  while (i < cs.size()) {
    std::size_t eq = cs.find('=', i);
    if (eq == std::string_view::npos) break;
    keys.insert(upper_ascii(trim_blanks(cs.substr(i, eq - i))));
    i = eq + 1;
    while (i < cs.size() && cs[i] == ' ') ++i;
    if (i < cs.size() && cs[i] == '{') {
      ++i;
      while (i < cs.size()) {
        if (cs[i] == '}') {
          if (i + 1 < cs.size() && cs[i + 1] == '}') {
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        ++i;
      }
    }
    std::size_t semi = cs.find(';', i);
    if (semi == std::string_view::npos) break;
    i = semi + 1;
  }
  return keys;
}

void append_keyword(std::string& cs, std::string_view key, std::string_view value, bool doubled_braces) {
  if (!cs.empty() && cs.back() != ';') cs += ';';
  cs += key;
  cs += '=';
  cs += quote_value(value, doubled_braces);
}

}  // namespace

ServerAddress parse_server_name(std::string_view name) {
  name = trim_blanks(name);
  if (name.size() >= 4 && lower_ascii(name.substr(0, 4)) == "tcp:") name.remove_prefix(4);
  ServerAddress a;
  if (std::size_t comma = name.rfind(','); comma != std::string_view::npos) {
    a.port = std::string(trim_blanks(name.substr(comma + 1)));
    name = name.substr(0, comma);
  }
  if (std::size_t slash = name.find('\\'); slash != std::string_view::npos) {
    a.instance = std::string(trim_blanks(name.substr(slash + 1)));
    name = name.substr(0, slash);
  }
  a.host = std::string(trim_blanks(name));
  return a;
}

std::map<std::string, std::string> parse_dbparm(std::string_view s) {
  std::map<std::string, std::string> out;
  std::size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && (s[i] == ' ' || s[i] == ',' || s[i] == '\t')) ++i;
    std::size_t eq = s.find_first_of("=,", i);
    if (eq == std::string_view::npos) break;
    if (s[eq] == ',') {  // a word without a value
      i = eq;
      continue;
    }
    std::string key = lower_ascii(trim_blanks(s.substr(i, eq - i)));
    i = eq + 1;
    while (i < s.size() && s[i] == ' ') ++i;
    std::string value;
    if (i < s.size() && (s[i] == '\'' || s[i] == '"')) {
      // Quoted: a doubled quote stands for itself.
      char q = s[i++];
      while (i < s.size()) {
        if (s[i] == q) {
          if (i + 1 < s.size() && s[i + 1] == q) {
            value += q;
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        value += s[i++];
      }
      while (i < s.size() && s[i] != ',') ++i;
    } else {
      std::size_t comma = s.find(',', i);
      if (comma == std::string_view::npos) comma = s.size();
      value = std::string(trim_blanks(s.substr(i, comma - i)));
      i = comma;
    }
    if (!key.empty()) out[key] = value;
  }
  return out;
}

std::string quote_value(std::string_view v, bool doubled_braces) {
  bool plain = !v.empty() && v.front() != ' ' && v.back() != ' ' &&
               v.find_first_of(";{}=") == std::string_view::npos;
  if (plain) return std::string(v);
  std::string out = "{";
  for (char c : v) {
    out += c;
    if (c == '}' && doubled_braces) out += '}';
  }
  out += '}';
  return out;
}

std::optional<std::string> connection_string(const DbSettings& settings, const MssProfile& profile,
                                             std::string* error) {
  std::map<std::string, std::string> parm = parse_dbparm(settings.dbparm);
  const std::string kind = upper_ascii(trim_blanks(settings.dbms));
  std::string cs;
  auto add = [&](std::string& to, std::string_view key, std::string_view value) {
    append_keyword(to, key, value, profile.doubled_braces);
  };

  auto common = [&](bool only_missing) {
    std::set<std::string> have = connection_keywords(cs);
    auto want = [&](const char* key) { return !only_missing || have.count(key) == 0; };
    if (want("UID") && (!only_missing || !settings.logid.empty())) add(cs, "UID", settings.logid);
    if (want("PWD") && (!only_missing || !settings.logid.empty())) add(cs, "PWD", settings.logpass);
    if (want("DATABASE") && !settings.database.empty()) add(cs, "DATABASE", settings.database);
    if (want("APP") && parm.count("appname")) add(cs, "APP", parm["appname"]);
    if (want("WSID") && parm.count("host")) add(cs, "WSID", parm["host"]);
  };

  if (kind == "MSS") {
    std::string driver = parm.count("driver") ? parm["driver"] : profile.driver;
    cs = "DRIVER={" + driver + "}";
    ServerAddress a = parse_server_name(settings.servername);
    if (profile.local_alias && (a.host == "." || lower_ascii(a.host) == "(local)")) a.host = "127.0.0.1";
    std::string server = a.host;
    if (!a.instance.empty()) server += "\\" + a.instance;
    if (profile.separate_port) {
      add(cs, "SERVER", server);
      if (!a.port.empty()) add(cs, "PORT", a.port);
    } else {
      add(cs, "SERVER", a.port.empty() ? server : server + "," + a.port);
    }
    common(false);
    if (!profile.extra_keywords.empty()) cs += ";" + profile.extra_keywords;
    return cs;
  }
  if (kind == "ODBC") {
    if (parm.count("connectstring")) {
      cs = std::string(trim_blanks(parm["connectstring"]));
      while (!cs.empty() && cs.back() == ';') cs.pop_back();
    } else if (!trim_blanks(settings.servername).empty()) {
      add(cs, "DSN", trim_blanks(settings.servername));
    } else {
      if (error) *error = "No data source: set ConnectString='DSN=...' in the connection parameters";
      return std::nullopt;
    }
    common(true);
    return cs;
  }
  if (error) *error = "The ODBC client does not serve the database kind '" + settings.dbms + "'";
  return std::nullopt;
}

std::string strip_prefixes(std::string_view m) {
  while (!m.empty() && m.front() == '[') {
    std::size_t close = m.find(']');
    if (close == std::string_view::npos) break;
    m.remove_prefix(close + 1);
  }
  return std::string(m);
}

std::optional<long> isolation_of_lock(std::string_view lock) {
  // The values of SQL_TXN_READ_UNCOMMITTED, ..._READ_COMMITTED,
  // ..._REPEATABLE_READ and ..._SERIALIZABLE.
  std::string l = upper_ascii(trim_blanks(lock));
  if (l == "RU") return 1L;
  if (l == "RC") return 2L;
  if (l == "RR") return 4L;
  if (l == "TS") return 8L;
  return std::nullopt;
}

}  // namespace rt::odbc
