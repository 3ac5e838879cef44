// Objects of the runtime and the class registry.
//
// Creating an object runs its ancestors' creates (C++ construction, base
// first) and then fires its "constructor" event; destroying it fires
// "destructor" first and then runs the destroys (C++ destruction).
// Classes registered by name can be created from their class name, which is
// how a library exports its classes.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "rt/export.h"

namespace rt {

class RT_API Object {
 public:
  virtual ~Object() = default;
  // The class name as the runtime reports it (lower case, e.g. "nvo_dnum").
  virtual std::string class_name() const = 0;
  // The events fired after creation and before destruction.
  virtual void constructor() {}
  virtual void destructor() {}
};

struct RT_API ObjectDeleter {
  void operator()(Object* o) const;  // fires "destructor", then deletes
};
template <class T>
using Ref = std::unique_ptr<T, ObjectDeleter>;

// Creates an object of class T and fires its constructor event.
template <class T, class... Args>
Ref<T> create(Args&&... args) {
  Ref<T> obj(new T(std::forward<Args>(args)...));
  obj->constructor();
  return obj;
}

// Destroys an object: fires its destructor event, then frees it. The
// variable no longer holds an object afterwards.
template <class T>
void destroy(Ref<T>& obj) {
  obj.reset();
}

class RT_API ClassRegistry {
 public:
  using Factory = std::function<Object*()>;
  static ClassRegistry& instance();
  // Registers a class; the name is matched without regard to case.
  void add(const std::string& class_name, Factory factory);
  bool has(const std::string& class_name) const;
  std::vector<std::string> names() const;
  // Creates an object of the named class and fires its constructor event;
  // null when no such class is registered.
  Ref<Object> create(const std::string& class_name) const;

 private:
  struct Entry {
    std::string name;
    Factory factory;
  };
  std::vector<Entry> entries_;
};

// Registers class T under `name` when the program or library is loaded.
template <class T>
struct RegisterClass {
  explicit RegisterClass(const char* name) {
    ClassRegistry::instance().add(name, [] { return static_cast<Object*>(new T()); });
  }
};

// Creates an object by class name (see ClassRegistry::create).
RT_API Ref<Object> create_object(const std::string& class_name);

}  // namespace rt
