#pragma once

#include "core/scene/math/Vector3.h"

class CTDrawable;
class CTGroup;
class CTMaterial;
class CTShape;
class CTTorus1;

// Small pieces the demo's scenes share.
namespace qibo::demo {

// The registered material of that name. A new one is made white (ambient
// and diffuse 1, 1, 1) with the texture of that name from the texture
// service (none when it cannot be loaded, which the service logs), and
// *created tells the caller to set whatever else it wants; an existing one
// is left as whoever made it set it. Null without a material service.
CTMaterial* SceneMaterial(const char* name, const char* texture, bool* created = nullptr);

// A new drawable of shape and material under parent, at position in the
// parent's space; held by the parent. Null when it cannot be made.
CTDrawable* AddDrawable(CTGroup* parent, const char* name, CTShape* shape, CTMaterial* material,
                        const Vector3& position);

// A torus animates itself from construction on; a scene that calls its
// Update from its own timed update takes that over, so the torus stands
// still while the scene is inactive.
void TakeOverTorusUpdates(CTTorus1* torus);

}  // namespace qibo::demo
