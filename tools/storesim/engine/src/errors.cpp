#include "errors.h"

#include <algorithm>
#include <iterator>

#include "sql_types.h"

namespace storesim::sql {

Message Error(std::int32_t number, std::initializer_list<std::string> args) {
  const auto* m = std::find_if(std::begin(kServerMessages), std::end(kServerMessages),
                               [&](const ServerMessage& e) { return e.number == number; });
  if (m == std::end(kServerMessages)) return MakeMessage(number, 16, "");
  // One pass, so that an argument holding "%1" stays as it is.
  std::string text;
  for (const char* p = m->text; *p; ++p) {
    if (p[0] == '%' && p[1] >= '1' && p[1] <= '9') {
      auto i = static_cast<std::size_t>(p[1] - '1');
      if (i < args.size()) text += *(args.begin() + i);
      ++p;
    } else {
      text += *p;
    }
  }
  return MakeMessage(number, m->cls, std::move(text), m->state);
}

void Fail(std::int32_t number, std::initializer_list<std::string> args, bool abort_batch) {
  throw SqlError{{Error(number, args)}, abort_batch};
}

}  // namespace storesim::sql
