#pragma once

#include <cstdint>
#include <new>
#include <type_traits>

#include "core/object/ClassId.h"
#include "core/object/QIBO_String.h"

class CTBasic;

// Authorship record shared by a module's classes.
class Copyright {
 public:
  constexpr Copyright() = default;
  virtual QIBO_String GetAuthor() const;
  virtual QIBO_String GetEMail() const;
  virtual QIBO_String GetCompany() const;
  virtual QIBO_String GetURL() const;
};

// The record of every core class.
const Copyright* CoreCopyright();

// For classes without a record.
extern "C" const Copyright* GetCopyright_Nobody();

// The descriptor of one class: name, 32-bit ID, parent, build, description
// and product group; creates and counts instances. One static instance per
// class, alive from module load to unload, never freed.
//
// The ID and parent are kept in the base so that the is-a walk, which runs
// on every DynamicCast, follows plain fields.
class ClassDesc {
 public:
  constexpr ClassDesc(uint32_t id, ClassDesc* parent, const char* name = nullptr, const char* desc = nullptr)
      : m_id(id), m_parent(parent), m_name(name), m_desc(desc) {}

  virtual bool Abstract() const { return true; }
  virtual void* Create() { return nullptr; }
  virtual void Delete(void* object);
  virtual ClassDesc* GetInheritedCD() const { return nullptr; }
  virtual const Copyright* GetCopyright() const { return nullptr; }
  virtual int GetSize() const = 0;
  virtual uint32_t ID() const = 0;
  virtual QIBO_String GetName() const = 0;
  virtual int GetBuild() const = 0;
  virtual QIBO_String GetBuildDate() const;  // "Thu Jun  1 16:49:21 2000"
  virtual QIBO_String GetDesc() const { return "qiBO Core"; }
  virtual QIBO_String GetURL() const { return "qibocore.dll"; }
  virtual QIBO_String GetProductName() const { return "qiBO"; }
  // Whether objects of this class may be made from data another program
  // sent (scene objects, shapes, materials, tracks, controllers): they act
  // on nothing outside themselves when created. Not inherited.
  virtual bool SafeToReceive() const { return false; }

  bool CheckID(uint32_t id) const { return ID() == id; }
  bool CheckName(const char* name) const;  // case-sensitive

  // Is-a test: this class or one of its ancestors has the ID (or name).
  bool CheckGroupID(uint32_t id) const {
    for (const ClassDesc* d = this; d; d = d->m_parent)
      if (d->m_id == id) return true;
    return false;
  }
  bool CheckGroupName(const char* name) const;

  int GetLevel() const;  // number of ancestors, 0 for a root
  int32_t GetInstances() const { return m_instances; }

  // The name and description without a copy, for the registry's scans.
  // Descriptors that give none are read through GetName()/GetDesc().
  const char* NameText() const { return m_name; }
  const char* DescText() const { return m_desc; }

 protected:
  const uint32_t m_id;
  ClassDesc* const m_parent;
  const char* const m_name;
  const char* const m_desc;
  int32_t m_instances = 0;
};

namespace qibo {

// What a class says about itself beyond its name and parent. Classes fill
// only what differs, e.g. {.desc = "Messaging", .build = 1}.
struct ClassInfo {
  const char* desc = "qiBO Core";
  const char* url = "";
  const char* product = "qiBO";
  int build = 0;
  bool isAbstract = false;
  uint32_t fixedId = 0;  // the few classes whose ID is not the name's CRC-32
  bool safeToReceive = false;
  const Copyright* copyright = nullptr;
};

// The descriptor of class T, made by QIBO_IMPLEMENT_CLASS in T's source.
template <class T>
class ClassDescOf final : public ClassDesc {
 public:
  constexpr ClassDescOf(const char* name, uint32_t id, ClassDesc* parent, const ClassInfo& info)
      : ClassDesc(info.fixedId ? info.fixedId : id, parent, name, info.desc), m_info(info) {}

  bool Abstract() const override { return m_info.isAbstract; }

  void* Create() override {
    if constexpr (std::is_abstract_v<T> || !std::is_default_constructible_v<T>) {
      return nullptr;
    } else {
      if (m_info.isAbstract) return nullptr;
      ++m_instances;
      T* object = new (std::nothrow) T();
      return object ? static_cast<CTBasic*>(object) : nullptr;
    }
  }

  void Delete(void*) override {
    if (!m_info.isAbstract) --m_instances;
  }

  ClassDesc* GetInheritedCD() const override { return m_parent; }
  const Copyright* GetCopyright() const override {
    return m_info.copyright ? m_info.copyright : CoreCopyright();
  }
  int GetSize() const override { return static_cast<int>(sizeof(T)); }
  uint32_t ID() const override { return m_id; }
  QIBO_String GetName() const override { return m_name; }
  int GetBuild() const override { return m_info.build; }
  QIBO_String GetDesc() const override { return m_info.desc; }
  QIBO_String GetURL() const override { return m_info.url; }
  QIBO_String GetProductName() const override { return m_info.product; }
  bool SafeToReceive() const override { return m_info.safeToReceive; }

 private:
  ClassInfo m_info;
};

}  // namespace qibo

// In the class body, first line: declares the descriptor and the per-class
// triple _CD() / GetCD(). Leaves the access at public.
#define QIBO_CLASS(X)                                        \
 public:                                                     \
  static ::qibo::ClassDescOf<X> s_classDesc;                 \
  static ClassDesc* _CD() { return &s_classDesc; }           \
  ClassDesc* GetCD() const override { return &s_classDesc; } \
  friend class ::qibo::ClassDescOf<X>;

// In the class's source: defines the descriptor (constant-initialised, so it
// exists before any static constructor runs) and the exported lookup
// function GetClassDesc_X. The optional arguments are ClassInfo fields:
//   QIBO_IMPLEMENT_CLASS(CTNamed, CTStreamed, .desc = "Messaging")
#define QIBO_IMPLEMENT_CLASS(X, Parent, ...)                                                     \
  static_assert(::qibo::ClassInfo{__VA_ARGS__}.isAbstract ||                                     \
                    (!std::is_abstract_v<X> && std::is_default_constructible_v<X>),              \
                #X " is described as concrete but cannot be default-constructed");               \
  constinit ::qibo::ClassDescOf<X> X::s_classDesc{#X, ::qibo::ClassId(#X), &Parent::s_classDesc, \
                                                  ::qibo::ClassInfo{__VA_ARGS__}};               \
  extern "C" ClassDesc* GetClassDesc_##X() { return &X::s_classDesc; }
