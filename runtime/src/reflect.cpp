#include "rt/reflect.h"

#include "rt/error.h"

namespace rt {

TypeDefinition::TypeDefinition(std::string name, std::string data_type_of)
    : name_(std::move(name)), data_type_of_(std::move(data_type_of)) {}

namespace {

std::shared_ptr<const TypeDefinition> simple(const char* name) {
  return std::make_shared<const TypeDefinition>(name, name);
}

// The type of the leading entry of every variable list.
std::shared_ptr<const TypeDefinition> classdefinition_type() {
  static const auto t = simple("classdefinition");
  return t;
}

}  // namespace

ClassDefinition::ClassDefinition(std::string name, Kind kind, std::vector<VariableDefinition> members)
    : TypeDefinition(name, kind == Kind::Structure ? std::string("structure") : name), kind_(kind) {
  variables_.reserve(members.size() + 1);
  variables_.push_back(VariableDefinition{"classdefinition", {}, classdefinition_type()});
  for (auto& m : members) variables_.push_back(std::move(m));
}

namespace types {
#define RT_SIMPLE_TYPE(fn, name)                    \
  std::shared_ptr<const TypeDefinition> fn() {      \
    static const auto t = simple(name);             \
    return t;                                       \
  }
RT_SIMPLE_TYPE(boolean, "boolean")
RT_SIMPLE_TYPE(character, "character")
RT_SIMPLE_TYPE(integer, "integer")
RT_SIMPLE_TYPE(uinteger, "unsignedinteger")
RT_SIMPLE_TYPE(long_, "long")
RT_SIMPLE_TYPE(ulong, "unsignedlong")
RT_SIMPLE_TYPE(string, "string")
RT_SIMPLE_TYPE(double_, "double")
RT_SIMPLE_TYPE(decimal, "decimal")
RT_SIMPLE_TYPE(date, "date")
RT_SIMPLE_TYPE(time, "time")
RT_SIMPLE_TYPE(datetime, "datetime")
RT_SIMPLE_TYPE(blob, "blob")
#undef RT_SIMPLE_TYPE
}  // namespace types

VariableDefinition member(std::string name, std::shared_ptr<const TypeDefinition> type, std::vector<long> bounds) {
  std::vector<ArrayBounds> dims;
  dims.reserve(bounds.size());
  for (long b : bounds) dims.push_back(ArrayBounds{1, static_cast<std::int32_t>(b)});
  return member_with_bounds(std::move(name), std::move(type), std::move(dims));
}

VariableDefinition member_with_bounds(std::string name, std::shared_ptr<const TypeDefinition> type,
                                      std::vector<ArrayBounds> bounds) {
  VariableDefinition v;
  v.name = std::move(name);
  v.type_info = std::move(type);
  if (!bounds.empty()) {
    v.cardinality.cardinality = VariableCardinalityDefinition::Cardinality::BoundedArray;
    v.cardinality.array_definition = std::move(bounds);
  }
  return v;
}

VariableDefinition unbounded_member(std::string name, std::shared_ptr<const TypeDefinition> type) {
  VariableDefinition v;
  v.name = std::move(name);
  v.type_info = std::move(type);
  v.cardinality.cardinality = VariableCardinalityDefinition::Cardinality::UnboundedArray;
  return v;
}

std::shared_ptr<const ClassDefinition> define_structure(std::string name, std::vector<VariableDefinition> members) {
  return std::make_shared<const ClassDefinition>(std::move(name), ClassDefinition::Kind::Structure,
                                                 std::move(members));
}

std::shared_ptr<const ClassDefinition> define_class(std::string name, std::vector<VariableDefinition> members) {
  return std::make_shared<const ClassDefinition>(std::move(name), ClassDefinition::Kind::Class, std::move(members));
}

std::shared_ptr<const ClassDefinition> class_definition(const Object* obj) {
  if (!obj) raise_error(kErrNullObject);
  if (auto r = dynamic_cast<const Reflected*>(obj)) return r->class_definition();
  return define_class(obj->class_name(), {});
}

String class_name(const Any& value) {
  struct Namer {
    String operator()(std::monostate) const { return null; }
    String operator()(const Int&) const { return std::string("integer"); }
    String operator()(const UInt&) const { return std::string("unsignedinteger"); }
    String operator()(const Long&) const { return std::string("long"); }
    String operator()(const ULong&) const { return std::string("unsignedlong"); }
    String operator()(const Char&) const { return std::string("character"); }
    String operator()(const String&) const { return std::string("string"); }
    String operator()(const Bool&) const { return std::string("boolean"); }
    String operator()(const Double&) const { return std::string("double"); }
    String operator()(const Date&) const { return std::string("date"); }
    String operator()(const Time&) const { return std::string("time"); }
    String operator()(const DateTime&) const { return std::string("datetime"); }
    String operator()(const Object* o) const { return o ? String(o->class_name()) : String(null); }
  };
  return std::visit(Namer{}, value.value());
}

String class_name(const Structure& value) {
  auto def = value.class_definition();
  return def ? String(def->name()) : String(null);
}

}  // namespace rt
