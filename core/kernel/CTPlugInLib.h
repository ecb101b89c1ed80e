#pragma once

#include <vector>

#include "core/object/CTReferenced.h"

// The object a plug-in library hands to the kernel: lists the plug-in's
// class descriptors and registers them with the class manager. A plug-in
// derives its own library class and adds its classes in AddClasses().
class CTPlugInLib : public CTReferenced {
  QIBO_CLASS(CTPlugInLib)

 public:
  ~CTPlugInLib() override;

  // Rebuilds the list through AddClasses() and registers every class with a
  // running class manager.
  void RegisterClasses();
  void UnregisterClasses();

  int GetClassCount() const { return static_cast<int>(m_classes.size()); }
  ClassDesc* GetClassNo(int i) const;
  // Live objects of the listed classes (counts below 1 are ignored).
  int GetInstancesCount() const;

 protected:
  virtual void AddClasses() = 0;
  // Lists cd once, however often it is added.
  void AddClass(ClassDesc* cd);

 private:
  std::vector<ClassDesc*> m_classes;
};
