#pragma once

#include <cstdint>

#include "core/object/QIBO_String.h"

class ClassDesc;
class CTBasic;

// The class API. Each function forwards to the class-manager service, which
// it starts on first use, so no initialisation is needed before calling.
void qiBO_RegisterClass(ClassDesc* cd);
void qiBO_UnregisterClass(ClassDesc* cd);
ClassDesc* qiBO_FindClassDesc(uint32_t id);
ClassDesc* qiBO_FindClassDescByName(const char* name);
ClassDesc* qiBO_FindClassDescByNameIC(const char* name);
CTBasic* qiBO_CreateClass(uint32_t id);
CTBasic* qiBO_CreateClassByName(const char* name);
CTBasic* qiBO_CreateClassByNameIC(const char* name);
int qiBO_GetClassDescCount();
ClassDesc* qiBO_GetClassDescNo(int index);
QIBO_String qiBO_GetClassName(uint32_t id);
uint32_t qiBO_GetClassID(const char* name);
