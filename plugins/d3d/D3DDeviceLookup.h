#pragma once

class CTDirect3D;

namespace qibo::d3d {

// The render device a program already uses: the first CTDirect3D in the
// device manager's registry that is shown, else the first started one,
// else the first at all; null when there is none (or no device manager).
// It is found whoever holds it, also one a spectator holds exclusively.
CTDirect3D* FindRegisteredDirect3D();

}  // namespace qibo::d3d
