#pragma once

class CTMaterial;

// The exported material functions. They reach the material service through
// the library's cached reference, created and started on first use; without
// the service they answer null.

// The registered material of that name, or a new one, registered; *existed
// (when given) tells which.
CTMaterial* qiBO_CreateMaterial(const char* name, bool* existed);
// The registered material of that name in any letter case, or null.
CTMaterial* qiBO_FindMaterial(const char* name);
// The material named "Default".
CTMaterial* qiBO_GetDefaultMaterial();
