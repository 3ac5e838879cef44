#include "rt/object.h"

#include <algorithm>
#include <cctype>

namespace rt {

namespace {
bool same_name(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}
}  // namespace

void ObjectDeleter::operator()(Object* o) const {
  if (!o) return;
  o->destructor();
  delete o;
}

ClassRegistry& ClassRegistry::instance() {
  static ClassRegistry r;
  return r;
}

void ClassRegistry::add(const std::string& class_name, Factory factory) {
  for (auto& e : entries_) {
    if (same_name(e.name, class_name)) {
      e.factory = std::move(factory);
      return;
    }
  }
  entries_.push_back(Entry{class_name, std::move(factory)});
}

bool ClassRegistry::has(const std::string& class_name) const {
  return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& e) { return same_name(e.name, class_name); });
}

std::vector<std::string> ClassRegistry::names() const {
  std::vector<std::string> r;
  for (const auto& e : entries_) r.push_back(e.name);
  return r;
}

Ref<Object> ClassRegistry::create(const std::string& class_name) const {
  for (const auto& e : entries_) {
    if (same_name(e.name, class_name)) {
      Ref<Object> obj(e.factory());
      obj->constructor();
      return obj;
    }
  }
  return Ref<Object>();
}

Ref<Object> create_object(const std::string& class_name) { return ClassRegistry::instance().create(class_name); }

}  // namespace rt
