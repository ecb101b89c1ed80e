#pragma once

class CTBasicSpectator;
class CTTexture;

// The program-wide backdrop: the picture the demo's spectator shows behind
// its scene, full screen. The application names its spectator once; the
// timeline and the scenes then change the picture through ShowBackdrop.
//
// The spectator is held by a safe pointer: it does not keep the spectator
// alive and becomes null by itself when the spectator is deleted.

// Null forgets the spectator.
void SetDemoSpectator(CTBasicSpectator* spectator);
CTBasicSpectator* GetDemoSpectator();

// Shows picture behind the scene (null: none, the viewport clears to its
// colour). True when the picture changed; false when the spectator already
// shows that picture or there is no spectator.
bool ShowBackdrop(CTTexture* picture);
// The picture shown now; null without one or without a spectator.
CTTexture* GetBackdrop();
