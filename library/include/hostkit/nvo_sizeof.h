// nvo_sizeof: byte sizes of values and record types in a flat, packed
// layout, for passing records to operating-system calls: long and unsigned
// long 4, integer and unsigned integer 2, char 1, boolean 1, a text 4 (a
// reference to it). Record members follow one another without gaps.
//
// A record member of any other type (boolean included) is refused with the
// "SizeOf error" message box and the size -1. An array member counts each of
// its elements; an array member without fixed bounds is refused as well, and
// so is a record larger than 2,147,483,647 bytes or one whose structure
// members nest more than kMaxNesting levels deep.
//
// The overloaded size function is spelled sizeof_ (sizeof is a C++ keyword),
// and so are the instance variables long_ and char_.
#pragma once

#include <string>
#include <vector>

#include "hostkit/export.h"
#include "rt/object.h"
#include "rt/reflect.h"
#include "rt/text.h"
#include "rt/value.h"

namespace hostkit {

class HOSTKIT_API nvo_sizeof : public rt::Object {
 public:
  inline static const rt::Int size_boolean{std::int16_t{1}};
  inline static const rt::Int size_char{std::int16_t{1}};
  inline static const rt::Int size_int{std::int16_t{2}};
  inline static const rt::Int size_uint{std::int16_t{2}};
  inline static const rt::Int size_long{std::int16_t{4}};
  inline static const rt::Int size_ulong{std::int16_t{4}};
  inline static const rt::Int size_string{std::int16_t{4}};

  // One variable of each supported type, passed to the single-value size
  // functions; their values are never used.
  rt::Int integer;
  rt::UInt uint;
  rt::Long long_;
  rt::ULong ulong;
  rt::Char char_;
  rt::String string;
  rt::Bool boolean;

  std::string class_name() const override { return "nvo_sizeof"; }

  // Single values: the size of the type, whatever the value (NULL too).
  rt::Long sizeof_(const rt::Long& data);
  rt::Long sizeof_(const rt::ULong& data);
  rt::Long sizeof_(const rt::Int& data);
  rt::Long sizeof_(const rt::UInt& data);
  rt::Long sizeof_(const rt::Char& data);
  rt::Long sizeof_(const rt::String& data);
  // An array of values of mixed types: the sum of the sizes of the elements
  // whose type is supported; other elements add nothing.
  rt::Long sizeof_(const std::vector<rt::Any>& data);
  rt::Long sizeof_(const rt::Bool& data);
  // A structure value or an object: the size of its class's members, or -1
  // (after the message box) when one of them is not supported. A null
  // object raises the runtime's null-object error.
  rt::Long sizeof_(const rt::Structure& data);
  rt::Long sizeof_(const rt::Object* data);

  // The size of the members that a variable list describes (from its second
  // entry on, the first not being a member), or -1 after the message box.
  rt::Long vardef(const std::vector<rt::VariableDefinition>& vardef);

  // The deepest nesting of structure members that is measured: a record
  // whose members nest deeper is refused like an unsupported member.
  static constexpr int kMaxNesting = 1000;

 private:
  // vardef for a list `depth` structure levels below the record.
  rt::Long members_size(const std::vector<rt::VariableDefinition>& vardef, int depth);
};

}  // namespace hostkit
