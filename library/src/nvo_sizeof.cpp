#include "hostkit/nvo_sizeof.h"

#include "rt/error.h"
#include "rt/ui.h"

namespace hostkit {

namespace {

rt::RegisterClass<nvo_sizeof> g_register("nvo_sizeof");

bool is_one_of(const std::string& name, std::initializer_list<const char*> names) {
  for (const char* n : names)
    if (name == n) return true;
  return false;
}

// The number of elements of a member: 1 for a single value, the product of
// the extents of all dimensions for an array with fixed bounds, nothing
// (refused) for an array without them.
bool element_count(const rt::VariableCardinalityDefinition& card, std::int64_t& count) {
  using C = rt::VariableCardinalityDefinition::Cardinality;
  count = 1;
  if (card.cardinality == C::UnboundedArray) return false;
  for (const rt::ArrayBounds& b : card.array_definition) {
    if (b.lower_bound.is_null() || b.upper_bound.is_null()) return false;
    std::int64_t extent = static_cast<std::int64_t>(*b.upper_bound) - *b.lower_bound + 1;
    if (extent < 0) extent = 0;
    count *= extent;
    if (count > 0x7FFFFFFF) return false;
  }
  return true;
}

// The largest size a long holds; a record larger than this is refused.
constexpr std::int64_t kMaxSize = 0x7FFFFFFF;

rt::Long refuse() {
  rt::messagebox(rt::String(std::string("SizeOf error")),
                 rt::String(std::string("Type is not supported, possibly variable sized or object type!")),
                 rt::Icon::StopSign, rt::Buttons::Ok);
  return -1;
}

}  // namespace

rt::Long nvo_sizeof::sizeof_(const rt::Long&) { return rt::convert<std::int32_t>(size_long); }
rt::Long nvo_sizeof::sizeof_(const rt::ULong&) { return rt::convert<std::int32_t>(size_ulong); }
rt::Long nvo_sizeof::sizeof_(const rt::Int&) { return rt::convert<std::int32_t>(size_int); }
rt::Long nvo_sizeof::sizeof_(const rt::UInt&) { return rt::convert<std::int32_t>(size_uint); }
rt::Long nvo_sizeof::sizeof_(const rt::Char&) { return rt::convert<std::int32_t>(size_char); }
rt::Long nvo_sizeof::sizeof_(const rt::String&) { return rt::convert<std::int32_t>(size_string); }
rt::Long nvo_sizeof::sizeof_(const rt::Bool&) { return rt::convert<std::int32_t>(size_boolean); }

rt::Long nvo_sizeof::sizeof_(const std::vector<rt::Any>& data) {
  rt::Long ll_size = 0;
  for (const rt::Any& element : data) {
    rt::String name = rt::class_name(element);
    if (name.is_null()) continue;
    const std::string& n = *name;
    if (n == "long")
      ll_size = ll_size + sizeof_(long_);
    else if (is_one_of(n, {"unsignedlong", "ulong"}))
      ll_size = ll_size + sizeof_(ulong);
    else if (is_one_of(n, {"int", "integer"}))
      ll_size = ll_size + sizeof_(integer);
    else if (is_one_of(n, {"uint", "unsignedinteger", "unsignedint"}))
      ll_size = ll_size + sizeof_(uint);
    else if (is_one_of(n, {"char", "character"}))
      ll_size = ll_size + sizeof_(char_);
    else if (n == "string")
      ll_size = ll_size + sizeof_(string);
    else if (n == "boolean")
      ll_size = ll_size + sizeof_(boolean);
    // Any other type adds nothing.
  }
  return ll_size;
}

rt::Long nvo_sizeof::sizeof_(const rt::Structure& data) {
  auto classdef = data.class_definition();
  if (!classdef) rt::raise_error(rt::kErrNullObject);
  return vardef(classdef->variable_list());
}

rt::Long nvo_sizeof::sizeof_(const rt::Object* data) {
  auto classdef = rt::class_definition(data);  // raises the null-object error for null
  return vardef(classdef->variable_list());
}

rt::Long nvo_sizeof::vardef(const std::vector<rt::VariableDefinition>& vardef) { return members_size(vardef, 0); }

rt::Long nvo_sizeof::members_size(const std::vector<rt::VariableDefinition>& vardef, int depth) {
  // The total is kept in 64 bits, so that a record too large for a long is
  // refused instead of coming back wrapped (0, negative, or even -1).
  std::int64_t ll_size = 0;
  // The first entry of a variable list is not a member of the record.
  for (std::size_t ll_index = 1; ll_index < vardef.size(); ++ll_index) {
    const rt::VariableDefinition& entry = vardef[ll_index];
    std::int64_t ll_array = 0;
    if (!element_count(entry.cardinality, ll_array)) return refuse();

    if (!entry.type_info) return refuse();
    const std::string& n = entry.type_info->data_type_of();
    rt::Long element;
    if (n == "long")
      element = sizeof_(long_);
    else if (is_one_of(n, {"ulong", "unsignedlong"}))
      element = sizeof_(ulong);
    else if (is_one_of(n, {"int", "integer"}))
      element = sizeof_(integer);
    else if (is_one_of(n, {"uint", "unsignedint", "unsignedinteger"}))
      element = sizeof_(uint);
    else if (is_one_of(n, {"char", "character"}))
      element = sizeof_(char_);
    else if (n == "string")
      element = sizeof_(string);
    else if (n == "structure") {
      auto typeinfo = std::dynamic_pointer_cast<const rt::ClassDefinition>(entry.type_info);
      if (!typeinfo) return refuse();
      // Nesting this deep is a broken (or cyclic) description, not a record.
      if (depth >= kMaxNesting) return refuse();
      // A nested refusal has shown its box already; pass the -1 on.
      element = members_size(typeinfo->variable_list(), depth + 1);
      if (test(element == -1)) return -1;
    } else {
      return refuse();
    }
    // Both factors are at most 2^31 - 1 and the total so far too: no
    // overflow in 64 bits.
    ll_size += static_cast<std::int64_t>(*element) * ll_array;
    if (ll_size > kMaxSize) return refuse();
  }
  return static_cast<std::int32_t>(ll_size);
}

}  // namespace hostkit
