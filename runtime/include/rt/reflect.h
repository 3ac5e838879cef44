// Class reflection of the object runtime: type descriptions of structures
// (records) and classes, the class name of a value, and a value of any type.
//
// A class definition carries a variable list. Its first entry is the
// "classdefinition" property that every structure and object has (the
// value's own class definition); it is not a member of the record. The
// members follow in declaration order, each with its cardinality (array
// bounds per dimension, none for a single value) and its type information:
// the data type name ("long", "unsignedinteger", "character", ...) and, for
// a member that is itself a structure, that structure's class definition
// (data type name "structure").
//
// Record types are declared once, as immutable definitions:
//
//   const rt::ClassDefinition& filetime_def() {
//     static const auto def = rt::define_structure("filetime", {
//         rt::member("dwlowdatetime", rt::types::ulong()),
//         rt::member("dwhighdatetime", rt::types::ulong())});
//     return *def;
//   }
#pragma once

#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "rt/datetime.h"
#include "rt/export.h"
#include "rt/object.h"
#include "rt/text.h"
#include "rt/value.h"

namespace rt {

class ClassDefinition;

// The bounds of one array dimension.
struct ArrayBounds {
  Long lower_bound = 1;
  Long upper_bound = 0;
};

// How many values a variable holds.
struct VariableCardinalityDefinition {
  enum class Cardinality { Scalar, BoundedArray, UnboundedArray };
  Cardinality cardinality = Cardinality::Scalar;
  // One entry per dimension; empty for a single value and for an array
  // without fixed bounds.
  std::vector<ArrayBounds> array_definition;
};

// The type information of a variable.
class RT_API TypeDefinition {
 public:
  TypeDefinition(std::string name, std::string data_type_of);
  virtual ~TypeDefinition() = default;
  // The type's name: "long", or the name of a structure or class.
  const std::string& name() const { return name_; }
  // The data type name: the simple type's name, "structure" for a
  // structure, the class name for an object class.
  const std::string& data_type_of() const { return data_type_of_; }

 private:
  std::string name_;
  std::string data_type_of_;
};

// One entry of a variable list.
struct VariableDefinition {
  std::string name;
  VariableCardinalityDefinition cardinality;
  std::shared_ptr<const TypeDefinition> type_info;  // may be null for a broken description
};

// The definition of a structure or a class.
class RT_API ClassDefinition : public TypeDefinition {
 public:
  enum class Kind { Structure, Class };
  ClassDefinition(std::string name, Kind kind, std::vector<VariableDefinition> members);
  Kind kind() const { return kind_; }
  // The leading "classdefinition" entry, then the members in order.
  const std::vector<VariableDefinition>& variable_list() const { return variables_; }

 private:
  Kind kind_;
  std::vector<VariableDefinition> variables_;
};

// Type information of the simple types, one shared instance each.
namespace types {
RT_API std::shared_ptr<const TypeDefinition> boolean();
RT_API std::shared_ptr<const TypeDefinition> character();
RT_API std::shared_ptr<const TypeDefinition> integer();          // 16-bit signed
RT_API std::shared_ptr<const TypeDefinition> uinteger();         // 16-bit unsigned
RT_API std::shared_ptr<const TypeDefinition> long_();            // 32-bit signed
RT_API std::shared_ptr<const TypeDefinition> ulong();            // 32-bit unsigned
RT_API std::shared_ptr<const TypeDefinition> string();
RT_API std::shared_ptr<const TypeDefinition> double_();
RT_API std::shared_ptr<const TypeDefinition> decimal();
RT_API std::shared_ptr<const TypeDefinition> date();
RT_API std::shared_ptr<const TypeDefinition> time();
RT_API std::shared_ptr<const TypeDefinition> datetime();
RT_API std::shared_ptr<const TypeDefinition> blob();
}  // namespace types

// A member for define_structure / define_class. `bounds` lists the upper
// bound of each dimension (lower bound 1): {260} is an array of 260 values.
RT_API VariableDefinition member(std::string name, std::shared_ptr<const TypeDefinition> type,
                          std::vector<long> bounds = {});
// A member whose dimensions have explicit lower and upper bounds.
RT_API VariableDefinition member_with_bounds(std::string name, std::shared_ptr<const TypeDefinition> type,
                                      std::vector<ArrayBounds> bounds);
// An array member without fixed bounds (its size varies at run time).
RT_API VariableDefinition unbounded_member(std::string name, std::shared_ptr<const TypeDefinition> type);

RT_API std::shared_ptr<const ClassDefinition> define_structure(std::string name, std::vector<VariableDefinition> members);
RT_API std::shared_ptr<const ClassDefinition> define_class(std::string name, std::vector<VariableDefinition> members);

// A value that knows its class definition.
class RT_API Reflected {
 public:
  virtual ~Reflected() = default;
  virtual std::shared_ptr<const ClassDefinition> class_definition() const = 0;
};

// A structure (record) value. Concrete records derive from it and return
// their declared definition.
class RT_API Structure : public Reflected {};

// The class definition of an object: its own when it is Reflected, else a
// definition of its class name without members. Raises the null-object
// error for a null object.
RT_API std::shared_ptr<const ClassDefinition> class_definition(const Object* obj);

// A value of any type (an element of an array of mixed values). An empty
// Any holds nothing at all. An object is held by reference: the Any does
// not own it.
class Any {
 public:
  using Value = std::variant<std::monostate, Int, UInt, Long, ULong, Char, String, Bool, Double, Date, Time,
                             DateTime, const Object*>;
  Any() = default;
  Any(Int v) : v_(std::move(v)) {}
  Any(UInt v) : v_(std::move(v)) {}
  Any(Long v) : v_(std::move(v)) {}
  Any(ULong v) : v_(std::move(v)) {}
  Any(Char v) : v_(std::move(v)) {}
  Any(String v) : v_(std::move(v)) {}
  Any(Bool v) : v_(std::move(v)) {}
  Any(Double v) : v_(std::move(v)) {}
  Any(Date v) : v_(std::move(v)) {}
  Any(Time v) : v_(std::move(v)) {}
  Any(DateTime v) : v_(std::move(v)) {}
  Any(const Object* o) : v_(o) {}
  const Value& value() const { return v_; }

 private:
  Value v_;
};

// The class name of a value: the simple type's name ("long",
// "unsignedlong", "integer", "unsignedinteger", "character", "string",
// "boolean", "double", "date", "time", "datetime") also when the value is
// NULL; an object's class name; NULL for an empty Any or a null object.
RT_API String class_name(const Any& value);
// The class name of a structure value.
RT_API String class_name(const Structure& value);

}  // namespace rt
